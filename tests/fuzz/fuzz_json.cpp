// Fuzz target: the JSON reader of kiln run. A parsed document is walked whole,
// every name looked up again, and numbers converted as the run command does.
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/kiln/json.cpp"

namespace {

size_t Walk(const json::Value& v, int depth) {
    size_t sum = v.Text().size() + size_t(v.Number() != 0);
    for (size_t i = 0; i < v.Size(); ++i) {
        if (v.IsObject() && v.Find(v.Key(i)) != &v.Item(i)) __builtin_trap();  // names are unique
        sum += Walk(v.Item(i), depth + 1);
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    json::Document doc;
    std::string error;
    if (json::Parse(std::string_view(reinterpret_cast<const char*>(data), size), &doc, &error))
        (void)Walk(doc.Root(), 0);
    else if (error.empty())
        __builtin_trap();  // a failure always says where and why
    return 0;
}
