#include "platform/FileModes.h"

#include <sys/stat.h>

namespace orvant::platform {

void RestrictCreatedFileModes()
{
    ::umask(007);
}

std::optional<std::string> WorldReadablePasswordWarning(const std::string& path, bool holdsPassword)
{
    struct stat st {};
    if (!holdsPassword || ::stat(path.c_str(), &st) != 0 || (st.st_mode & S_IROTH) == 0)
        return std::nullopt;
    return "Aviso: o arquivo de implantação " + path
        + " guarda a senha da conta de e-mail e pode ser lido por todos os usuários deste computador. "
          "Deixe-o só para o dono e o grupo de quem roda o Orvant: chmod 640 " + path + " (grupo orvant).";
}

} // namespace orvant::platform
