/* Fuzzes the check of an INF line for a model name: the input up to its first
   line feed or NUL is the model name, the rest the line's text (any bytes),
   in a block of exactly its size; an input of odd length is checked in any
   letter case. */
#include <stdlib.h>
#include <string.h>
#include <string>
#include "uninstall.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    std::string input((const char *)data, size);
    size_t split = input.find_first_of(std::string("\n\0", 2));
    std::string model = input.substr(0, split), text = split < size ? input.substr(split + 1) : "";
    int anyCase = size % 2;
    auto fold = [anyCase](std::string s) { for (char &c : s) c = anyCase && isupper(c & 0xFF) ? c + 32 : c; return s; };
    auto names = [&](const std::string &t) { return NamesModel(t.data(), t.size(), model.c_str(), anyCase); };
    char *block = (char *)malloc(text.size());
    int named = NamesModel((char *)memcpy(block, text.data(), text.size()), text.size(), model.c_str(), anyCase);

    /* Named only where the text holds the name, whatever follows the text; always where the name opens it. */
    if ((named && fold(text).find(fold(model)) == std::string::npos) || names(text + "\n") != named
        || names(model + " " + text) != !model.empty())
        abort();
    free(block);
    return 0;
}
