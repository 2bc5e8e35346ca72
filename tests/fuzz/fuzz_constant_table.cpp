// Fuzz target: the constant table object over arbitrary "CTAB" bytes. Every
// constant, member and element the table names is looked up by position and
// by name and described; nothing may read outside the bytes, crash or hang.
#include <cstdint>
#include <string>

#include "shader/bytecode/constant_table.h"

namespace {

// Members and elements visited per run, so a table that claims millions of
// them still runs quickly.
constexpr int kMaxVisits = 4096;

struct Walker {
    IKLConstantTable* table;
    int visits = 0;

    void Visit(KLHANDLE parent, const std::string& path, int depth) {
        KLCONSTANT_DESC descs[4];
        UINT count = 4;
        if (++visits > kMaxVisits || depth > 8 || FAILED(table->DescribeConstant(parent, descs, &count))) return;
        if (count == 0) return;
        const KLCONSTANT_DESC& desc = descs[0];
        // Looking the constant up again by its path must not fail badly either.
        if (!path.empty()) table->ConstantByName(nullptr, path.c_str());
        for (UINT m = 0; m < desc.StructMembers && m < 16; ++m) {
            KLHANDLE member = table->ConstantAt(parent, m);
            KLCONSTANT_DESC memberDesc;
            UINT one = 1;
            if (member && SUCCEEDED(table->DescribeConstant(member, &memberDesc, &one)) && one && memberDesc.Name)
                Visit(member, path + "." + memberDesc.Name, depth + 1);
        }
        for (UINT e = 0; e < desc.Elements && e < 16; ++e) {
            KLHANDLE element = table->ElementAt(parent, e);
            if (element) Visit(element, path + "[" + std::to_string(e) + "]", depth + 1);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IKLConstantTable* table = nullptr;
    if (FAILED(CreateConstantTable(data, size, &table)) || !table) return 0;
    KLCONSTANTTABLE_DESC desc;
    if (SUCCEEDED(table->DescribeTable(&desc))) {
        if (desc.Creator) (void)std::string(desc.Creator);
        Walker walker{table};
        for (UINT i = 0; i < desc.Constants && i < 256; ++i) {
            KLHANDLE h = table->ConstantAt(nullptr, i);
            KLCONSTANT_DESC d;
            UINT one = 1;
            if (!h || FAILED(table->DescribeConstant(h, &d, &one)) || !one) continue;
            std::string name = d.Name ? d.Name : "";
            walker.Visit(h, name, 0);
            table->ConstantByName(nullptr, ("$" + name).c_str());
            table->ElementAt(h, UINT(-1));
            table->ConstantAt(h, UINT(-1));
        }
    }
    // Names that are no constant, and handles that are none.
    table->ConstantByName(nullptr, "");
    table->ConstantByName(nullptr, "a[4294967295].b");
    table->ConstantByName(nullptr, "..[");
    table->ConstantAt(nullptr, UINT(-1));
    KLCONSTANT_DESC d;
    UINT one = 1;
    // A handle above the index range is a name.
    table->DescribeConstant(reinterpret_cast<KLHANDLE>("Lights[2].dir[1]"), &d, &one);
    table->DescribeConstant(reinterpret_cast<KLHANDLE>(uintptr_t(0xFFFF)), &d, &one);
    table->Release();
    return 0;
}
