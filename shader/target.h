// The target table: every profile name the compiler and the assembler know,
// with its shader version token and which tools accept it.
#pragma once

#include "platform/wintypes.h"

// Capability bits of a target row.
enum TargetCaps : uint32_t {
    kTargetNone = 0,
    kTargetAssemble = 0x1,     // the assembler accepts the profile
    kTargetCompile = 0x2,      // the HLSL compiler accepts it
    kTargetTextureFill = 0x4,  // texture-fill program
};

// What a profile's instruction set has beyond its model's base, for the
// lowering and the code generators. The 2_x profiles share one version token
// but not these (ps_2_b has none of them), so they are read from the row.
enum TargetFeatures : uint32_t {
    kFeatureNone = 0,
    kFeatureDerivatives = 0x1,       // dsx, dsy and texldd: ddx, ddy and the gradient lookups
    kFeatureArbitrarySwizzle = 0x2,  // any source swizzle
    kFeaturePredication = 0x4,       // setp and predicated instructions
    kFeatureFlowControl = 0x8,       // loops, branches on constants, calls
};

struct TargetDesc {
    const char* name;
    uint32_t version;   // shader version token
    uint32_t caps;      // TargetCaps bits
    uint32_t features;  // TargetFeatures bits
};

// Version token layout: kind in bits 16-31 (0xFFFE vertex, 0xFFFF pixel,
// 0x5458 texture fill), major in 8-15, minor in 0-7 (0xFF "sw", 0x01 "2_x").

// Binary search by exact, case-sensitive name. Found only when every bit of
// `requiredCaps` is set in the row. Results: S_OK (row copied to *out when out
// is not null); E_FAIL when not found; D3DERR_INVALIDCALL for a null name.
HRESULT FindTargetByName(const char* name, uint32_t requiredCaps, TargetDesc* out);

// The last row in table order with this version token and the required caps,
// so versioned profiles come back in their underscore spelling ("ps_2_0").
// Results: S_OK or E_FAIL.
HRESULT FindTargetByVersion(uint32_t version, uint32_t requiredCaps, TargetDesc* out);

// The whole table, sorted by name in byte order (for tools and tests).
const TargetDesc* TargetTable(size_t* count);
