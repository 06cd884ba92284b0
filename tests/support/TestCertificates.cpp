#include "support/TestCertificates.h"

#include "support/TempDir.h"
#include "support/TestChildProcess.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

void OpenSSL(std::vector<std::string> args)
{
    args.insert(args.begin(), "openssl");
    std::string output;
    if (RunTestProgram(args, output) != 0) {
        std::string command;
        for (const std::string& arg : args)
            command += arg + " ";
        throw std::runtime_error("failed: " + command + "\n" + output);
    }
}

// A new key pair and a certificate request for the name, with the name (and, for
// localhost, 127.0.0.1) as subject alternative names.
void MakeRequest(const std::string& base, const std::string& name)
{
    const std::string altNames = name == "localhost" ? "DNS:localhost,IP:127.0.0.1" : "DNS:" + name;
    OpenSSL({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             base + ".key", "-out", base + ".csr", "-subj", "/O=Orvant Tests/CN=" + name, "-addext",
             "subjectAltName=" + altNames});
}

void SignWithCA(const TTestCertificates& c, const std::string& base)
{
    OpenSSL({"x509", "-req", "-in", base + ".csr", "-CA", c.CACert, "-CAkey", c.CAKey, "-out", base + ".pem",
             "-days", "30", "-copy_extensions", "copy"});
}

void SelfSign(const std::string& base)
{
    OpenSSL({"x509", "-req", "-in", base + ".csr", "-key", base + ".key", "-out", base + ".pem", "-days", "30",
             "-copy_extensions", "copy"});
}

struct TCertificateFolder {
    TTestCertificates Certificates;
    ~TCertificateFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(Certificates.Folder, ignored);
    }
};

std::unique_ptr<TCertificateFolder> MakeAll()
{
    auto folder = std::make_unique<TCertificateFolder>();
    TTestCertificates& c = folder->Certificates;
    c.Folder = orvant::test::NewTempFolder("orvant-certs-");
    const std::string dir = c.Folder + "/";

    c.CACert = dir + "ca.pem";
    c.CAKey = dir + "ca.key";
    OpenSSL({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
             c.CAKey, "-out", c.CACert, "-days", "30", "-subj", "/O=Orvant Tests/CN=Orvant Test CA"});

    MakeRequest(dir + "server", "localhost");
    SignWithCA(c, dir + "server");
    c.ServerCert = dir + "server.pem";
    c.ServerKey = dir + "server.key";

    c.KeyPassword = "segredo-123";
    c.EncryptedServerKey = dir + "server-encrypted.key";
    OpenSSL({"pkey", "-in", c.ServerKey, "-aes256", "-passout", "pass:" + c.KeyPassword, "-out",
             c.EncryptedServerKey});

    MakeRequest(dir + "untrusted", "localhost");
    SelfSign(dir + "untrusted");
    c.UntrustedCert = dir + "untrusted.pem";
    c.UntrustedKey = dir + "untrusted.key";

    MakeRequest(dir + "other", "other.invalid");
    SignWithCA(c, dir + "other");
    c.OtherNameCert = dir + "other.pem";
    c.OtherNameKey = dir + "other.key";

    c.DHParams = dir + "dh.pem";
    OpenSSL({"genpkey", "-genparam", "-algorithm", "DH", "-pkeyopt", "group:ffdhe2048", "-out", c.DHParams});
    return folder;
}

} // namespace

const TTestCertificates& TestCertificates()
{
    static const std::unique_ptr<TCertificateFolder> folder = MakeAll();
    return folder->Certificates;
}
