// The translated form of a shader and the interpreter that runs it.
//
// Translation (shader_translate.cpp) turns checked instructions into a flat
// list of ExecOps whose operands name slots of one lane register file, the
// uniform constant tables or the program's literal pool, with swizzles,
// modifiers and jump targets already resolved. The interpreter
// (shader_exec.cpp) runs that list over kLanes lanes with an execution mask
// for flow control, so it never looks at tokens again.
//
// Lane register file (each slot holds 4 components x kLanes floats):
//   0-31   r0-r31 temporaries
//   32-47  inputs by slot (vs: vN; ps < 3.0: v0, v1, t0-t7; ps_3_0: vN)
//   48-55  ps_1_1-1_3 texture registers t0-t7 (written by texture instructions)
//   56-71  outputs by slot (vs: kSlotPosition... / oN; ps: oC0-oC3, oDepth at 60)
//   72     a0            73  p0          74  vPos        75  vFace (x)
//   76-79  scratch (matrix products, co-issue, ps_1_x texm pads)
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <vector>

#include "gfx/shaders/shader_program.h"

namespace gfx::exec {

enum LaneSlot : uint16_t {
    kTempBase = 0,
    kInputBase = 32,
    kTexBase = 48,
    kOutBase = 56,
    kDepthSlot = kOutBase + 4,
    kAddrSlot = 72,
    kPredSlot = 73,
    kPosSlot = 74,
    kFaceSlot = 75,
    kScratchBase = 76,
    kPadSlot = 79,  // ps_1_x texm3x2/texm3x3 dot products (x, y, z)
    kLaneSlotCount = 80,
};

enum class File : uint8_t {
    Lane,     // lane register slot
    Const,    // float constant (program literal where def'd)
    Zero,     // reads as (0, 0, 0, 0)
};

enum class Rel : uint8_t { None, A0, Loop };

struct Operand {
    File file = File::Zero;
    uint16_t index = 0;      // slot or constant index (base when relative)
    uint8_t swz[4] = {0, 1, 2, 3};
    uint8_t mod = 0;         // isa::SourceModifier
    Rel rel = Rel::None;
    uint8_t relComp = 0;     // a0 component
    uint16_t relCount = 0;   // registers in the relatively addressed range
    bool clampUnit = false;  // ps_1_x constants read clamped to [-1, 1]
};

struct Dest {
    uint16_t index = 0;      // lane slot (base when relative)
    uint8_t mask = 0xF;
    bool saturate = false;
    int8_t shift = 0;        // ps_1_x: result times 2^shift
    Rel rel = Rel::None;
    uint8_t relComp = 0;
    uint16_t relCount = 0;
    float range = 0.0f;      // ps_1_x: results clamped to [-range, range]; 0 none
};

// What an op does. Arithmetic kinds share the operand machinery; the rest
// are texture and flow-control operations with their own handling.
enum class Kind : uint8_t {
    Arith,        // opcode selects the arithmetic function
    Sample,       // texld family (ps_2+, vs_3_0, ps_1_4 texld, ps_1_1 tex)
    Texkill,
    Ps1Tex,       // ps_1_1-1_3 texture addressing other than tex
    TexDepth,     // ps_1_4 texdepth
    Derivative,   // dsx, dsy
    If, IfC, Else, EndIf,
    Loop, Rep, EndLoop, EndRep,
    Break, BreakC, BreakP,
    Call, CallNz, Ret, Label,
    Nop,
};

enum class SampleMode : uint8_t { Plain, Project, Bias, Lod, Grad };

struct ExecOp {
    Kind kind = Kind::Nop;
    uint16_t opcode = 0;
    uint8_t comparison = 0;
    uint8_t scalarComp = 0;   // component of a scalar source (vs_1_1: w, else x)
    bool hasDst = false;
    Dest dst;
    uint8_t srcCount = 0;
    Operand src[4];
    bool predicated = false;
    Operand pred;
    int32_t target = -1;      // jump target (else/endif/end of loop, loop start, label)
    uint32_t constIndex = 0;  // loop/rep i#, if/callnz b#
    bool constNot = false;
    uint8_t sampler = 0;      // sampler or texture stage
    SampleMode sampleMode = SampleMode::Plain;
    uint8_t resultSwz[4] = {0, 1, 2, 3};  // sampler swizzle on the looked-up colour
    uint8_t texComps = 4;     // components tested by texkill
    uint8_t padComp = 0;      // ps_1_x texm pad component
    // Set by FindRegistersToClear: the result goes whole, unmodified and
    // unpredicated into a lane slot, so the SIMD path may compute it in place
    // when every lane is active.
    bool plainDst = false;
};

struct ExecProgram {
    ShaderKind kind = ShaderKind::Vertex;
    isa::Profile profile = isa::Profile::VS_1_1;
    std::vector<ExecOp> ops;
    int floatConstCount = 0;                    // 256 vs, 224 ps
    std::vector<int16_t> literalIndex;          // per float constant: index into literals or -1
    std::vector<float> literals;                // 4 per def
    int32_t intDef[16][4] = {};
    uint16_t intDefMask = 0;
    BOOL boolDef[16] = {};
    uint16_t boolDefMask = 0;
    uint16_t tempCount = 0;                     // temporaries used (r0..r[n-1])
    uint32_t inputMask = 0;                     // input slots read (bit per slot)
    bool ps1 = false;                           // ps_1_x: r0 is the colour result
    bool ps1TexRegs = false;                    // ps_1_1-1_3 t registers are writable
    // Filled by FindRegistersToClear: lane slots that may be read (by the
    // program or as results) before the program writes all of them, and the
    // output slots the program writes at all.
    uint64_t clearSlots[2] = {~0ull, ~0ull};    // bit per lane slot
    uint32_t outputsWritten = ~0u;              // bit per output slot (kOutBase + i)
    bool readsPosition = true;                  // vPos
    bool readsFace = true;                      // vFace
};

// Runs the program over the active lanes. Lane slots `regs` hold the inputs
// on entry and every register on return. Returns the lanes killed.
struct ExecState {
    alignas(64) float regs[kLaneSlotCount][4][kLanes];
};
// Zeroes one register block with vector stores (short fixed-size clears are
// faster this way than through a string instruction).
inline void ClearBlock(float (*block)[kLanes]) {
    const __m128 zero = _mm_setzero_ps();
    for (int k = 0; k < 4; ++k)
        for (int l = 0; l < kLanes; l += 4) _mm_storeu_ps(&block[k][l], zero);
}

// Works out ExecProgram::clearSlots and outputsWritten: a temporary, ps_1_x
// texture register, output, a0 or p0 needs clearing unless the straight-line
// start of the program (before any flow control) writes all of it, in every
// lane and without a predicate, before anything reads it. Also marks the ops
// whose results may be computed in place (ExecOp::plainDst).
void FindRegistersToClear(ExecProgram* program);
// Clears the registers the program may read before writing (see
// FindRegistersToClear) and copies the inputs it reads.
void PrepareState(const ExecProgram& program, const LaneVec4* inputs, int inputCount, ExecState* state);
uint32_t Execute(const ExecProgram& program, const ShaderConstants& constants, TextureSampler* sampler,
                 ExecState* state, uint32_t activeLanes, bool simd);

// Runs the op at `index` alone, as Execute would with every lane of
// `activeLanes` active and no flow control around it. Returns the lanes it
// killed. Compiled shaders call this for the ops they leave to the interpreter.
uint32_t ExecuteOp(const ExecProgram& program, const ShaderConstants& constants, TextureSampler* sampler,
                   ExecState* state, uint32_t activeLanes, int index);

// Executed-instruction budget per call: past it loops stop repeating and
// calls are skipped, so the rest of the program runs once.
constexpr uint32_t kMaxExecutedOps = 65536;
// Nested calls beyond this depth are skipped.
constexpr int kMaxCallDepth = 16;

}  // namespace gfx::exec
