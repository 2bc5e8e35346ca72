// IKLConstantTable: the constant table of a compiled program as an object.
// It finds constants by index, by name or by a path of member names and array
// indices ("lights[2].color"), describes them, and writes values into the
// device's shader constant registers, converting between the caller's data
// shape and the constant's register layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/d3d9.h"
#include "math/klmath.h"
#include "platform/wintypes.h"
#include "shader/kl_buffer.h"

// A constant or part of one: 0 none; 1 to 0xFFFF a top-level constant (record
// index + 1); a handle the table handed out for a member or element; any other
// value a pointer to a name, looked up by ConstantByName on every use.
using KLHANDLE = const char*;

struct KLCONSTANTTABLE_DESC {
    LPCSTR Creator;  // null when the table names none
    DWORD Version;
    UINT Constants;
};

struct KLCONSTANT_DESC {
    LPCSTR Name;
    UINT RegisterSet;
    UINT RegisterIndex;
    UINT RegisterCount;
    UINT Class;
    UINT Type;
    UINT Rows;
    UINT Columns;
    UINT Elements;
    UINT StructMembers;
    UINT Bytes;  // rows x columns x elements x 4
    LPCVOID DefaultValue;
};

// {9DCA3190-38B9-4FC3-92E3-39C6DDFB358B}
inline constexpr IID IID_IKLConstantTable = {0x9DCA3190, 0x38B9, 0x4FC3, {0x92, 0xE3, 0x39, 0xC6, 0xDD, 0xFB, 0x35, 0x8B}};

// The first five operations are those of IKLBuffer (the table bytes).
struct IKLConstantTable : IKLBuffer {
    virtual HRESULT DescribeTable(KLCONSTANTTABLE_DESC* desc) = 0;
    virtual HRESULT DescribeConstant(KLHANDLE constant, KLCONSTANT_DESC* descs, UINT* count) = 0;
    virtual KLHANDLE ConstantAt(KLHANDLE parent, UINT index) = 0;
    virtual KLHANDLE ConstantByName(KLHANDLE parent, LPCSTR name) = 0;
    virtual KLHANDLE ElementAt(KLHANDLE constant, UINT index) = 0;
    virtual HRESULT LoadDefaults(IDirect3DDevice9* device) = 0;
    virtual HRESULT WriteValue(IDirect3DDevice9* device, KLHANDLE constant, LPCVOID data, UINT bytes) = 0;
    virtual HRESULT WriteBool(IDirect3DDevice9* device, KLHANDLE constant, BOOL value) = 0;
    virtual HRESULT WriteBoolArray(IDirect3DDevice9* device, KLHANDLE constant, const BOOL* values, UINT count) = 0;
    virtual HRESULT WriteInt(IDirect3DDevice9* device, KLHANDLE constant, INT value) = 0;
    virtual HRESULT WriteIntArray(IDirect3DDevice9* device, KLHANDLE constant, const INT* values, UINT count) = 0;
    virtual HRESULT WriteFloat(IDirect3DDevice9* device, KLHANDLE constant, FLOAT value) = 0;
    virtual HRESULT WriteFloatArray(IDirect3DDevice9* device, KLHANDLE constant, const FLOAT* values, UINT count) = 0;
    virtual HRESULT WriteVector(IDirect3DDevice9* device, KLHANDLE constant, const KLVECTOR4* vector) = 0;
    virtual HRESULT WriteVectorArray(IDirect3DDevice9* device, KLHANDLE constant, const KLVECTOR4* vectors,
                                     UINT count) = 0;
    virtual HRESULT WriteMatrix(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrix) = 0;
    virtual HRESULT WriteMatrixArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrices,
                                     UINT count) = 0;
    virtual HRESULT WriteMatrixPointerArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX** matrices,
                                            UINT count) = 0;
    virtual HRESULT WriteMatrixTransposed(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrix) = 0;
    virtual HRESULT WriteMatrixTransposedArray(IDirect3DDevice9* device, KLHANDLE constant, const KLMATRIX* matrices,
                                               UINT count) = 0;
    virtual HRESULT WriteMatrixTransposedPointerArray(IDirect3DDevice9* device, KLHANDLE constant,
                                                      const KLMATRIX** matrices, UINT count) = 0;
};

// Where written constants go: the device's six constant setters. The table
// writes through this so the conversions can be checked without a device.
class ShaderConstantSink {
public:
    virtual ~ShaderConstantSink() = default;
    virtual HRESULT SetFloat(bool pixel, UINT start, const float* data, UINT count) = 0;
    virtual HRESULT SetInt(bool pixel, UINT start, const int* data, UINT count) = 0;
    virtual HRESULT SetBool(bool pixel, UINT start, const BOOL* data, UINT count) = 0;
};

// Creates the table object over a copy of `size` bytes of table data.
HRESULT CreateConstantTable(const void* table, size_t size, IKLConstantTable** out);

// Finds the "CTAB" block of `bytecode` (or uses an empty table) and creates
// the object over a copy of it.
HRESULT ExtractConstantTable(const void* bytecode, size_t byteSize, IKLConstantTable** out);

// The shape of the caller's data handed to the common write routine.
struct ValueShape {
    uint32_t parameterClass;
    uint32_t type;  // 0 void, 1 bool, 2 int, 3 float
    uint32_t rows;
    uint32_t columns;
    uint32_t elements;
};

// The common write routine and LoadDefaults over a sink (the device writers
// wrap the device into one). `matrices`: element k read through pointer k.
HRESULT WriteConstantValue(IKLConstantTable* table, ShaderConstantSink& sink, KLHANDLE constant,
                           const ValueShape& shape, const void* data, const void* const* elementPointers = nullptr);
HRESULT LoadConstantDefaults(IKLConstantTable* table, ShaderConstantSink& sink);
