#include "shader/bytecode/constant_table_object.h"

#include <cctype>
#include <cstring>
#include <new>

#include "shader/bytecode/bytecode_reader.h"

namespace {

// Structures can only nest as deep as a type description chain goes; a table
// whose offsets loop is cut off here.
constexpr int kMaxTypeDepth = 32;

bool IsIdentifierStart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
bool IsIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
const char* SkipSpace(const char* s) {
    while (std::isspace(static_cast<unsigned char>(*s))) ++s;
    return s;
}

uintptr_t HandleValue(KLHANDLE h) { return reinterpret_cast<uintptr_t>(h); }
KLHANDLE IndexHandle(uint32_t index) { return reinterpret_cast<KLHANDLE>(uintptr_t(index) + 1); }

}  // namespace

ConstantTable::~ConstantTable() {
    for (SubConstantRecord*& bucket : buckets_) {
        while (bucket) {
            SubConstantRecord* next = bucket->next;
            delete bucket;
            bucket = next;
        }
    }
}

HRESULT ConstantTable::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IKLBuffer || riid == IID_IKLConstantTable) {
        *object = static_cast<IKLConstantTable*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ConstantTable::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

template <typename T>
bool ConstantTable::Read(uint64_t offset, T* out) const {
    if (offset + sizeof(T) > bytes_.size()) return false;
    std::memcpy(out, bytes_.data() + offset, sizeof(T));
    return true;
}

const char* ConstantTable::StringAt(uint32_t offset) const {
    if (offset == 0 || offset >= bytes_.size()) return nullptr;
    if (!std::memchr(bytes_.data() + offset, 0, bytes_.size() - offset)) return nullptr;
    return reinterpret_cast<const char*>(bytes_.data() + offset);
}

bool ConstantTable::NameEquals(uint32_t offset, const char* name, size_t length) const {
    const char* stored = StringAt(offset);
    return stored && std::strncmp(stored, name, length) == 0 && stored[length] == '\0';
}

HRESULT ConstantTable::CheckValid() const {
    CtabHeader header;
    if (!Read(0, &header) || header.size < sizeof(CtabHeader)) return ERR_INVALID_DATA;
    return S_OK;
}

uint32_t ConstantTable::Version() const {
    CtabHeader header{};
    Read(0, &header);
    return header.version;
}

uint32_t ConstantTable::RecordCount() const {
    CtabHeader header{};
    Read(0, &header);
    return header.constantCount;
}

HRESULT ConstantTable::ReadRecord(uint32_t index, CtabConstantRecord* out) const {
    CtabHeader header;
    if (!Read(0, &header) || index >= header.constantCount) return ERR_INVALID_DATA;
    if (!Read(uint64_t(header.constantsOffset) + uint64_t(index) * sizeof(CtabConstantRecord), out))
        return ERR_INVALID_DATA;
    return S_OK;
}

bool ConstantTable::RegisterSize(const CtabTypeRecord& type, uint16_t registerSet, uint32_t* size, int depth) const {
    if (depth > kMaxTypeDepth) return false;
    if (type.parameterClass == uint16_t(ParameterClass::Struct)) {
        uint64_t sum = 0;
        for (uint32_t i = 0; i < type.structMembers; ++i) {
            CtabMemberRecord member;
            CtabTypeRecord memberType;
            if (!Read(uint64_t(type.structMemberOffset) + uint64_t(i) * sizeof(member), &member) ||
                !Read(member.typeOffset, &memberType))
                return false;
            uint32_t memberSize = 0;
            if (!RegisterSize(memberType, registerSet, &memberSize, depth + 1)) return false;
            sum += uint64_t(memberSize) * memberType.elements;
            if (sum > 0xFFFF) return false;
        }
        *size = uint32_t(sum);
        return true;
    }
    if (registerSet == uint16_t(RegisterSet::Bool)) {
        *size = uint32_t(type.rows) * type.columns;
        return true;
    }
    const bool byColumns = type.parameterClass == uint16_t(ParameterClass::MatrixColumns);
    const uint32_t r = byColumns ? type.columns : type.rows;
    const uint32_t c = byColumns ? type.rows : type.columns;
    *size = (c + 3) / 4 * r;
    return true;
}

const SubConstantRecord* ConstantTable::Interned(KLHANDLE handle) const {
    for (const SubConstantRecord* bucket : buckets_)
        for (const SubConstantRecord* r = bucket; r; r = r->next)
            if (reinterpret_cast<KLHANDLE>(r) == handle) return r;
    return nullptr;
}

KLHANDLE ConstantTable::Intern(const CtabConstantRecord& record, const CtabTypeRecord& type) {
    const uint32_t hash =
        uint32_t(((uint64_t(record.registerIndex) + uint64_t(record.registerSet) * 4096) * 4096 + record.registerCount) %
                 kBuckets);
    for (SubConstantRecord* r = buckets_[hash]; r; r = r->next)
        if (std::memcmp(&r->record, &record, sizeof(record)) == 0 && std::memcmp(&r->type, &type, sizeof(type)) == 0)
            return reinterpret_cast<KLHANDLE>(r);
    SubConstantRecord* r = new (std::nothrow) SubConstantRecord;
    if (!r) return nullptr;
    r->record = record;
    r->type = type;
    r->next = buckets_[hash];
    buckets_[hash] = r;
    return reinterpret_cast<KLHANDLE>(r);
}

HRESULT ConstantTable::Resolve(KLHANDLE handle, ResolvedConstant* out) {
    if (!handle) return D3DERR_INVALIDCALL;
    HRESULT hr = CheckValid();
    if (FAILED(hr)) return hr;
    const uintptr_t value = HandleValue(handle);
    if (value <= 0xFFFF) {
        if (FAILED(ReadRecord(uint32_t(value - 1), &out->record))) return ERR_INVALID_DATA;
        if (!Read(out->record.typeOffset, &out->type)) return ERR_INVALID_DATA;
        return S_OK;
    }
    if (const SubConstantRecord* r = Interned(handle)) {
        out->record = r->record;
        out->type = r->type;
        return S_OK;
    }
    KLHANDLE found = ConstantByName(nullptr, handle);
    if (!found) return ERR_INVALID_DATA;
    return Resolve(found, out);
}

HRESULT ConstantTable::ResolveRun(KLHANDLE constant, std::vector<ResolvedConstant>* out) {
    std::vector<ResolvedConstant>& run = *out;
    run.clear();
    HRESULT hr = S_OK;
    if (HandleValue(constant) > 0xFFFF && !Interned(constant)) {
        constant = ConstantByName(nullptr, constant);
        if (!constant) return ERR_INVALID_DATA;
    }
    if (const SubConstantRecord* r = Interned(constant)) {
        run.push_back({r->record, r->type});
    } else {
        if (!constant) return ERR_INVALID_DATA;
        const uint32_t first = uint32_t(HandleValue(constant) - 1);
        ResolvedConstant c;
        hr = Resolve(constant, &c);
        if (FAILED(hr)) return hr;
        run.push_back(c);
        // A variable in several register sets has one record per set.
        const char* name = StringAt(c.record.nameOffset);
        for (uint32_t i = first + 1; name && i < RecordCount(); ++i) {
            ResolvedConstant next;
            if (FAILED(ReadRecord(i, &next.record)) || !NameEquals(next.record.nameOffset, name, std::strlen(name)))
                break;
            if (!Read(next.record.typeOffset, &next.type)) return ERR_INVALID_DATA;
            run.push_back(next);
        }
    }
    return S_OK;
}

HRESULT ConstantTable::DescribeTable(KLCONSTANTTABLE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    CtabHeader header;
    if (FAILED(CheckValid()) || !Read(0, &header) || header.creatorOffset >= bytes_.size()) return ERR_INVALID_DATA;
    desc->Creator = header.creatorOffset ? StringAt(header.creatorOffset) : nullptr;
    if (header.creatorOffset && !desc->Creator) return ERR_INVALID_DATA;
    desc->Version = header.version;
    desc->Constants = header.constantCount;
    return S_OK;
}

HRESULT ConstantTable::DescribeConstant(KLHANDLE constant, KLCONSTANT_DESC* descs, UINT* count) {
    if (!descs && !count) return D3DERR_INVALIDCALL;
    HRESULT hr = CheckValid();
    if (FAILED(hr)) return hr;
    std::vector<ResolvedConstant> run;
    hr = ResolveRun(constant, &run);
    if (FAILED(hr)) return hr;
    if (descs) {
        const size_t n = count ? std::min<size_t>(*count, run.size()) : 1;
        for (size_t i = 0; i < n; ++i) {
            const ResolvedConstant& c = run[i];
            if (c.record.nameOffset >= bytes_.size() || c.record.defaultValueOffset >= bytes_.size())
                return ERR_INVALID_DATA;
            KLCONSTANT_DESC& d = descs[i];
            d.Name = c.record.nameOffset ? StringAt(c.record.nameOffset) : nullptr;
            d.RegisterSet = c.record.registerSet;
            d.RegisterIndex = c.record.registerIndex;
            d.RegisterCount = c.record.registerCount;
            d.Class = c.type.parameterClass;
            d.Type = c.type.parameterType;
            d.Rows = c.type.rows;
            d.Columns = c.type.columns;
            d.Elements = c.type.elements;
            d.StructMembers = c.type.structMembers;
            d.Bytes = uint32_t(c.type.rows) * c.type.columns * c.type.elements * 4;
            d.DefaultValue = c.record.defaultValueOffset ? bytes_.data() + c.record.defaultValueOffset : nullptr;
        }
    }
    if (count) *count = UINT(run.size());
    return S_OK;
}

KLHANDLE ConstantTable::ConstantAt(KLHANDLE parent, UINT index) {
    if (!parent) return index < RecordCount() && index < 0xFFFE ? IndexHandle(index) : nullptr;
    ResolvedConstant p;
    if (FAILED(Resolve(parent, &p))) return nullptr;
    if (p.type.parameterClass != uint16_t(ParameterClass::Struct) || index >= p.type.structMembers) return nullptr;
    uint64_t registerOffset = 0;
    CtabMemberRecord member{};
    CtabTypeRecord memberType{};
    for (uint32_t i = 0; i <= index; ++i) {
        if (!Read(uint64_t(p.type.structMemberOffset) + uint64_t(i) * sizeof(member), &member) ||
            !Read(member.typeOffset, &memberType))
            return nullptr;
        uint32_t size = 0;
        if (!RegisterSize(memberType, p.record.registerSet, &size)) return nullptr;
        if (i < index) registerOffset += uint64_t(size) * memberType.elements;
        else {
            CtabConstantRecord record = p.record;
            record.nameOffset = member.nameOffset;
            record.registerIndex = uint16_t(p.record.registerIndex + registerOffset);
            record.registerCount = uint16_t(uint64_t(size) * memberType.elements);
            record.typeOffset = member.typeOffset;
            return Intern(record, memberType);
        }
    }
    return nullptr;
}

KLHANDLE ConstantTable::ElementAt(KLHANDLE constant, UINT index) {
    ResolvedConstant c;
    if (FAILED(Resolve(constant, &c)) || index >= c.type.elements) return nullptr;
    uint32_t size = 0;
    if (!RegisterSize(c.type, c.record.registerSet, &size)) return nullptr;
    CtabConstantRecord record = c.record;
    record.registerIndex = uint16_t(c.record.registerIndex + uint64_t(index) * size);
    record.registerCount = uint16_t(size);
    record.defaultValueOffset = 0;
    CtabTypeRecord type = c.type;
    type.elements = 1;
    return Intern(record, type);
}

KLHANDLE ConstantTable::ConstantByName(KLHANDLE parent, LPCSTR name) {
    if (!name || FAILED(CheckValid())) return nullptr;
    KLHANDLE a = parent;
    const char* s = name;
    bool afterDot = false;
    for (;;) {
        s = SkipSpace(s);
        if (!*s) return a;
        if (a && *s == '.') {
            s = SkipSpace(s + 1);
            afterDot = true;
            continue;
        }
        if (*s == '@') return nullptr;
        if (*s == '[') {
            if (!a || afterDot) return nullptr;
            s = SkipSpace(s + 1);
            if (!std::isdigit(static_cast<unsigned char>(*s))) return nullptr;
            uint64_t index = 0;
            while (std::isdigit(static_cast<unsigned char>(*s))) {
                index = index * 10 + uint64_t(*s++ - '0');
                if (index > 0xFFFFFFFFu) return nullptr;
            }
            s = SkipSpace(s);
            if (*s != ']') return nullptr;
            ++s;
            a = ElementAt(a, UINT(index));
            if (!a) return nullptr;
            continue;
        }
        if (!IsIdentifierStart(*s)) return nullptr;
        const char* start = s++;
        while (IsIdentifierChar(*s)) ++s;
        const size_t length = size_t(s - start);
        afterDot = false;
        if (!a) {
            // Records are sorted by name in byte order: binary search, then
            // step back to the first record of that name.
            uint32_t lo = 0, hi = RecordCount();
            int64_t found = -1;
            while (lo < hi) {
                const uint32_t mid = lo + (hi - lo) / 2;
                CtabConstantRecord record;
                if (FAILED(ReadRecord(mid, &record))) return nullptr;
                const char* stored = StringAt(record.nameOffset);
                if (!stored) return nullptr;
                int cmp = std::strncmp(stored, start, length);
                if (cmp == 0 && stored[length] != '\0') cmp = 1;
                if (cmp == 0) {
                    found = mid;
                    hi = mid;
                } else if (cmp < 0) {
                    lo = mid + 1;
                } else {
                    hi = mid;
                }
            }
            if (found < 0 || found > 0xFFFD) return nullptr;
            a = IndexHandle(uint32_t(found));
            continue;
        }
        ResolvedConstant c;
        if (FAILED(Resolve(a, &c)) || c.type.parameterClass != uint16_t(ParameterClass::Struct)) return nullptr;
        KLHANDLE member = nullptr;
        for (uint32_t i = 0; i < c.type.structMembers && !member; ++i) {
            CtabMemberRecord m;
            if (!Read(uint64_t(c.type.structMemberOffset) + uint64_t(i) * sizeof(m), &m)) return nullptr;
            if (NameEquals(m.nameOffset, start, length)) member = ConstantAt(a, i);
        }
        if (!member) return nullptr;
        a = member;
    }
}

HRESULT CreateConstantTable(const void* table, size_t size, IKLConstantTable** out) {
    if (!table || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    try {
        const uint8_t* bytes = static_cast<const uint8_t*>(table);
        *out = new ConstantTable(std::vector<uint8_t>(bytes, bytes + size));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT ExtractConstantTable(const void* bytecode, size_t byteSize, IKLConstantTable** out) {
    if (!bytecode || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    std::vector<uint8_t> table;
    HRESULT hr = ExtractConstantTableBytes(bytecode, byteSize, &table);
    if (FAILED(hr)) return hr;
    try {
        *out = new ConstantTable(std::move(table));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
