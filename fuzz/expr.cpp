// The expression evaluator on arbitrary text.
#include "expr/expr.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    double result = 0;
    int assigned = 0;
    int code = expr_evaluate(text.data(), &result, &assigned);
    if (code < 0 || code > 9)
        __builtin_trap();
    if (expr_state().error_position < 0)
        __builtin_trap();
    return 0;
}
