/* Fuzzes the WININIT.INI edit: the first byte gives the length of the line
   (up to 63 bytes) that follows it, the rest is the file's text. The text
   must come back with exactly the line inserted behind the first "[rename]"
   header (any case, at a line start, ended by "\r\n", "\n" or the end), or
   with such a header and the line added at the end, nothing else changed and
   nothing written outside the buffer, whose size is exactly what the edit
   may use. */
#include <stdlib.h>
#include <strings.h>
#include <string>
#include "uninstall.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    size_t length = size ? data[0] % 64 : 0, at, end;
    if (size == 0 || length > size - 1)
        return 0;
    std::string line((const char *)data + 1, length), in((const char *)data + 1 + length, size - 1 - length), out;
    for (at = 0; at < in.size(); at = in.find('\n', at) == std::string::npos ? in.size() : in.find('\n', at) + 1) {
        std::string header = in.substr(at, 8), rest = in.substr(at + header.size(), 2);
        end = at + 8 + (rest[0] == '\n' ? 1 : rest == "\r\n" ? 2 : 0);
        if (header.size() == 8 && !strncasecmp(header.data(), "[rename]", 8) && (end > at + 8 || at + 8 == in.size()))
            break;
    }
    if (at < in.size())
        out = end == in.size() && in.back() != '\n' ? in + "\r\n" + line : in.substr(0, end) + line + in.substr(end);
    else
        out = in + (in.empty() || in.back() == '\n' ? "" : "\r\n") + "[rename]\r\n" + line;
    char *buffer = (char *)malloc(in.size() + RenameLineRoom + length);
    in.copy(buffer, in.size());
    if (std::string(buffer, InsertRenameLine(buffer, in.size(), line.data(), length)) != out)
        abort();
    free(buffer);
    return 0;
}
