/* Fuzzes the check of an INF line for a model name: the input up to its first
   line feed or NUL is the model name, the rest the line's text (any bytes),
   in a block of exactly its size. */
#include <stdlib.h>
#include <string.h>
#include <string>
#include "uninstall.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size)
{
    std::string input((const char *)data, size);
    size_t split = input.find_first_of(std::string("\n\0", 2));
    std::string model = input.substr(0, split), text = split < size ? input.substr(split + 1) : "";
    char *block = (char *)malloc(text.size());
    int named = NamesModel((char *)memcpy(block, text.data(), text.size()), text.size(), model.c_str());

    /* Named only where the text holds the name, whatever follows the text; always where the name opens it. */
    if ((named && text.find(model) == std::string::npos)
        || NamesModel((text + "\n").data(), text.size() + 1, model.c_str()) != named
        || NamesModel((model + " " + text).data(), model.size() + 1 + text.size(), model.c_str()) != !model.empty())
        abort();
    free(block);
    return 0;
}
