#include "shader/bytecode/constant_table_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "shader/bytecode/block_reader.h"
#include "shader/bytecode/constant_table_layout.h"

namespace {

// A hostile table can nest structures through its offsets; these bound the
// work (and stop cycles) long before the text becomes unreasonable.
constexpr int kMaxTypeDepth = 16;
constexpr uint32_t kMaxTypeNodes = 20000;

const char* const kTypeNames[] = {
    "void", "bool", "int", "float", "string", "texture", "texture1D", "texture2D", "texture3D", "textureCUBE",
    "sampler", "sampler1D", "sampler2D", "sampler3D", "samplerCUBE", "pixelshader", "vertexshader",
    "pixelfragment", "vertexfragment",
};
const char kRegisterLetters[] = {'b', 'i', 'c', 's'};

// The table's records, with its nested type descriptions turned into text.
class CtabReader : public BoundedReader {
public:
    CtabReader(const uint8_t* data, uint32_t size) : BoundedReader(data, size, "table") {}

    // Appends the declaration of a constant of type `typeOffset` named `name`.
    bool Declaration(uint32_t typeOffset, const std::string& name, const std::string& indent, int depth,
                     std::string* out) {
        if (depth > kMaxTypeDepth || ++nodes_ > kMaxTypeNodes) return Fail("type descriptions nest too deeply");
        CtabTypeRecord type;
        if (!Read(typeOffset, &type)) return false;
        std::string arraySuffix;
        if (type.elements > 1) arraySuffix = "[" + std::to_string(type.elements) + "]";
        if (type.parameterClass == uint16_t(ParameterClass::Struct)) {
            *out += "//   " + indent + "struct\n//   " + indent + "{\n";
            for (uint32_t i = 0; i < type.structMembers; ++i) {
                CtabMemberRecord member;
                std::string memberName;
                if (!Read(uint64_t(type.structMemberOffset) + uint64_t(i) * sizeof(member), &member)) return false;
                if (!String(member.nameOffset, &memberName)) return false;
                if (!Declaration(member.typeOffset, memberName, indent + "    ", depth + 1, out)) return false;
            }
            *out += "//   " + indent + "} " + name + arraySuffix + ";\n";
            return true;
        }
        std::string typeName = type.parameterType < std::size(kTypeNames)
                                   ? kTypeNames[type.parameterType]
                                   : "type" + std::to_string(type.parameterType);
        switch (type.parameterClass) {
        case uint16_t(ParameterClass::Scalar):
        case uint16_t(ParameterClass::Object):
            break;
        case uint16_t(ParameterClass::Vector):
            typeName += std::to_string(type.columns);
            break;
        case uint16_t(ParameterClass::MatrixRows):
            typeName = "row_major " + typeName + std::to_string(type.rows) + "x" + std::to_string(type.columns);
            break;
        case uint16_t(ParameterClass::MatrixColumns):
            typeName += std::to_string(type.rows) + "x" + std::to_string(type.columns);
            break;
        default:
            return Fail("unknown parameter class " + std::to_string(type.parameterClass));
        }
        *out += "//   " + indent + typeName + " " + name + arraySuffix + ";\n";
        return true;
    }
private:
    uint32_t nodes_ = 0;
};

struct Row {
    std::string name;
    std::string reg;
    uint16_t count;
    std::string note;
};

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// The register a fragment record stands for: its name says the kind.
char FragmentRegisterLetter(const std::string& name) {
    if (StartsWith(name, "r_")) return 'r';
    if (StartsWith(name, "v_") || StartsWith(name, "n_")) return 'v';
    return 'c';
}

std::string FloatList(const float* values, size_t count) {
    std::string s = "(";
    for (size_t i = 0; i < count; ++i) {
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "%s%g", i ? ", " : "", double(values[i]));
        s += buffer;
    }
    return s + ")";
}

}  // namespace

bool FormatConstantTable(const uint8_t* data, uint32_t size, std::string* text, std::string* error, bool fragment) {
    CtabReader reader(data, size);
    CtabHeader header;
    auto fail = [&] {
        *error = "constant table: " + reader.error();
        return false;
    };
    if (!reader.Read(0, &header)) return fail();
    if (header.size < sizeof(CtabHeader)) {
        reader.Fail("header size " + std::to_string(header.size) + " is below 20");
        return fail();
    }
    std::string creator;
    if (header.creatorOffset && !reader.String(header.creatorOffset, &creator)) return fail();
    if (uint64_t(header.constantCount) * sizeof(CtabConstantRecord) > size) {
        reader.Fail(std::to_string(header.constantCount) + " constants do not fit in the table");
        return fail();
    }

    std::string parameters;
    std::vector<Row> rows;
    std::string previous;
    for (uint32_t i = 0; i < header.constantCount; ++i) {
        CtabConstantRecord record;
        if (!reader.Read(uint64_t(header.constantsOffset) + uint64_t(i) * sizeof(record), &record)) return fail();
        Row row;
        if (!reader.String(record.nameOffset, &row.name)) return fail();
        if (record.registerSet > 3) {
            reader.Fail("unknown register set " + std::to_string(record.registerSet));
            return fail();
        }
        row.reg = kRegisterLetters[record.registerSet] + std::to_string(record.registerIndex);
        row.count = record.registerCount;
        // Only a fragment's constants are declarations; its other records name registers.
        bool declared = true;
        if (fragment) {
            row.reg = FragmentRegisterLetter(row.name) + std::to_string(record.registerIndex);
            declared = StartsWith(row.name, "c_") && !StartsWith(row.name, "c_$zz");
            if (record.reserved & 1) {
                float values[4];
                if (record.defaultValueOffset && !reader.Read(record.defaultValueOffset, &values)) return fail();
                if (record.defaultValueOffset) row.note = "= " + FloatList(values, 4);
            } else if ((record.reserved & 3) == 2) {
                row.note = "bound to c" + std::to_string(record.reserved >> 2);
            }
        }
        // A variable living in several register sets has one record per set.
        if (declared && (i == 0 || row.name != previous)) {
            if (!reader.Declaration(record.typeOffset, row.name, "", 0, &parameters)) return fail();
            parameters += "//\n";
        }
        previous = row.name;
        rows.push_back(row);
    }

    std::string& out = *text;
    out += "//\n";
    if (fragment) out += "// Fragment information\n//\n";
    if (!creator.empty()) out += "// Generated by " + creator + "\n//\n";
    if (rows.empty()) return true;
    if (!parameters.empty()) out += "// Parameters:\n//\n" + parameters + "//\n";
    out += "// Registers:\n//\n";
    size_t nameWidth = 4;
    for (const Row& row : rows) nameWidth = std::max(nameWidth, row.name.size());
    size_t regWidth = 5;
    for (const Row& row : rows) regWidth = std::max(regWidth, row.reg.size());
    auto pad = [](const std::string& s, size_t width) { return s + std::string(width - s.size(), ' '); };
    out += "//   " + pad("Name", nameWidth) + " " + pad("Reg", regWidth) + " Size\n";
    out += "//   " + std::string(nameWidth, '-') + " " + std::string(regWidth, '-') + " ----\n";
    for (const Row& row : rows) {
        char size[16];
        std::snprintf(size, sizeof(size), "%4u", unsigned(row.count));
        out += "//   " + pad(row.name, nameWidth) + " " + pad(row.reg, regWidth) + " " + size +
               (row.note.empty() ? "" : " " + row.note) + "\n";
    }
    out += "//\n";
    return true;
}
