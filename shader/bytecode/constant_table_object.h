// The object behind IKLConstantTable: the table bytes, their lookups, and the
// interned records of members and elements that handles point to.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "shader/bytecode/constant_table.h"
#include "shader/bytecode/constant_table_layout.h"

// A constant record and its type, as handles resolve to them.
struct ResolvedConstant {
    CtabConstantRecord record{};
    CtabTypeRecord type{};
};

// A member or element of a constant: a record and a copy of its type.
struct SubConstantRecord {
    CtabConstantRecord record{};
    CtabTypeRecord type{};
    SubConstantRecord* next = nullptr;
};

class ConstantTable final : public IKLConstantTable {
public:
    static constexpr int kBuckets = 11;

    explicit ConstantTable(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    LPVOID GetBufferPointer() override { return bytes_.data(); }
    DWORD GetBufferSize() override { return DWORD(bytes_.size()); }

    HRESULT DescribeTable(KLCONSTANTTABLE_DESC* desc) override;
    HRESULT DescribeConstant(KLHANDLE constant, KLCONSTANT_DESC* descs, UINT* count) override;
    KLHANDLE ConstantAt(KLHANDLE parent, UINT index) override;
    KLHANDLE ConstantByName(KLHANDLE parent, LPCSTR name) override;
    KLHANDLE ElementAt(KLHANDLE constant, UINT index) override;
    HRESULT LoadDefaults(IDirect3DDevice9* device) override;
    HRESULT WriteValue(IDirect3DDevice9* device, KLHANDLE constant, LPCVOID data, UINT bytes) override;
    HRESULT WriteBool(IDirect3DDevice9* device, KLHANDLE constant, BOOL value) override;
    HRESULT WriteBoolArray(IDirect3DDevice9* device, KLHANDLE constant, const BOOL* values, UINT count) override;
    HRESULT WriteInt(IDirect3DDevice9* device, KLHANDLE constant, INT value) override;
    HRESULT WriteIntArray(IDirect3DDevice9* device, KLHANDLE constant, const INT* values, UINT count) override;
    HRESULT WriteFloat(IDirect3DDevice9* device, KLHANDLE constant, FLOAT value) override;
    HRESULT WriteFloatArray(IDirect3DDevice9* device, KLHANDLE constant, const FLOAT* values, UINT count) override;
    HRESULT WriteVector(IDirect3DDevice9* device, KLHANDLE constant, const KLVECTOR4* vector) override;
    HRESULT WriteVectorArray(IDirect3DDevice9* device, KLHANDLE constant, const KLVECTOR4* vectors,
                             UINT count) override;
    HRESULT WriteMatrix(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrix) override;
    HRESULT WriteMatrixArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrices,
                             UINT count) override;
    HRESULT WriteMatrixPointerArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX** matrices,
                                    UINT count) override;
    HRESULT WriteMatrixTransposed(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrix) override;
    HRESULT WriteMatrixTransposedArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrices,
                                       UINT count) override;
    HRESULT WriteMatrixTransposedPointerArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX** matrices,
                                              UINT count) override;

    // Shared with the write routine.
    HRESULT CheckValid() const;
    HRESULT Resolve(KLHANDLE handle, ResolvedConstant* out);
    // The records of one constant: a variable in several register sets has a
    // record per set, side by side under the same name.
    HRESULT ResolveRun(KLHANDLE handle, std::vector<ResolvedConstant>* out);
    uint32_t Version() const;
    uint32_t RecordCount() const;
    HRESULT ReadRecord(uint32_t index, CtabConstantRecord* out) const;
    const uint8_t* Bytes() const { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }
    // Registers one element of `type` takes in `registerSet`; false when the
    // type nests deeper than the table can describe.
    bool RegisterSize(const CtabTypeRecord& type, uint16_t registerSet, uint32_t* size, int depth = 0) const;

private:
    ~ConstantTable() override;
    template <typename T>
    bool Read(uint64_t offset, T* out) const;
    bool NameEquals(uint32_t offset, const char* name, size_t length) const;
    const char* StringAt(uint32_t offset) const;
    KLHANDLE Intern(const CtabConstantRecord& record, const CtabTypeRecord& type);
    const SubConstantRecord* Interned(KLHANDLE handle) const;
    HRESULT Write(IDirect3DDevice9* device, KLHANDLE constant, const ValueShape& shape, const void* data,
                  const void* const* pointers = nullptr);

    std::atomic<ULONG> refs_{1};
    std::vector<uint8_t> bytes_;
    SubConstantRecord* buckets_[kBuckets] = {};
};
