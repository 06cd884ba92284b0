#include "support/ExternalProgram.h"

#include <cstdint>
#include <cstring>

TProgramResult RunPython(const std::string& script, const std::string& input)
{
    return RunProgram({"python3", "-c", script}, input);
}

namespace {

void AppendRecord(std::string& out, const std::string& bytes)
{
    const auto n = static_cast<std::uint32_t>(bytes.size());
    out.append(reinterpret_cast<const char*>(&n), 4);
    out += bytes;
}

} // namespace

std::vector<std::string> RunPythonOnEach(const std::string& definitions, const std::vector<std::string>& inputs)
{
    std::string batch;
    for (const std::string& input : inputs)
        AppendRecord(batch, input);
    const std::string script = definitions + R"(
import struct as _struct, sys as _sys
_data, _pos, _out = _sys.stdin.buffer.read(), 0, []
while _pos < len(_data):
    (_n,) = _struct.unpack_from('=I', _data, _pos)
    _item = _data[_pos + 4:_pos + 4 + _n]
    _pos += 4 + _n
    try:
        _result = convert(_item)
    except Exception as _e:
        _result = b'ERROR: ' + repr(_e).encode()
    _out.append(_struct.pack('=I', len(_result)) + _result)
_sys.stdout.buffer.write(b''.join(_out))
)";
    const TProgramResult result = RunPython(script, batch);
    std::vector<std::string> outputs;
    if (result.ExitCode != 0)
        return outputs;
    for (std::size_t pos = 0; pos + 4 <= result.Output.size();) {
        std::uint32_t n = 0;
        std::memcpy(&n, result.Output.data() + pos, 4);
        outputs.push_back(result.Output.substr(pos + 4, n));
        pos += 4 + n;
    }
    return outputs;
}
