// Operation parameters set from words, as `vq apply` and the command
// server's Apply take them: the first line names the operation, each
// further line is a word.  A refused set must leave every value as it was.
#include "fuzz/catalogue_start.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/op_values.h"
#include "ops/ops.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::string> values_of(const OpDescriptor& op)
{
    std::vector<std::string> out;
    for (const OpSlot& s : op.slots)
        out.push_back(s.used() ? slot_value_text(s) : std::string());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return fuzz_catalogue_start();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    for (size_t at = 0; at <= text.size();) {
        size_t nl = text.find('\n', at);
        words.push_back(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    OpDescriptor* op = op_find(words.front());
    if (!op)
        return 0;
    words.erase(words.begin());
    std::vector<std::string> before = values_of(*op);
    std::string error;
    if (!op_set_values(*op, words, error)) {
        if (error.empty() || values_of(*op) != before)
            __builtin_trap();
    }
    for (const OpSlot& s : op->slots)
        if (s.used())
            slot_range_text(s);
    return 0;
}
