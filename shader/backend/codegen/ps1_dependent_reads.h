// Matching of dependent texture reads onto the texture addressing
// instructions of ps_1_1 to ps_1_3. A lookup whose coordinates are not a
// texture coordinate input read in order is "dependent": its coordinates are
// computed from the result of an earlier lookup T (which must itself read
// its own texture coordinates). The shapes recognised, on the scalar program
// after optimisation (T' stands for T or its signed scale T * 2 - 1, _bx2):
//
//   coordinates                              instruction(s)              models
//   (T.a, T.r)                               texreg2ar                   1.1-1.3
//   (T.g, T.b)                               texreg2gb                   1.1-1.3
//   (T.r, T.g) 2D, (T.r, T.g, T.b) 3D/cube;  texreg2rgb                  1.2, 1.3
//     T' allowed
//   tex1D at dot(tN.xyz, T'.xyz), or the     texdp3tex tN                1.2, 1.3
//     2D lookup at (that dot, 0)
//   (dot(tN, T'), dot(tN+1, T'))             texm3x2pad tN;              1.1-1.3
//                                            texm3x2tex tN+1
//   (dot(tN, T'), dot(tN+1, T'),             texm3x3pad tN, tN+1;        1.1-1.3
//    dot(tN+2, T')) 3D/cube                  texm3x3tex tN+2
//   tN.xy + T.x * m0 + T.y * m1 2D, m0/m1    texbem tN                   1.1-1.3
//     constants (or tN.xy + T.xy)
//   2 N (N.E) / (N.N) - E 3D/cube, N the     texm3x3pad tN, tN+1;        1.1-1.3
//     three texm3x3 rows, E a constant       texm3x3spec tN+2, c
//     register's xyz, or the w of tN..tN+2   texm3x3vspec tN+2
//
// The reflection is recognised by what it computes, not by how it is
// written: its coordinates are evaluated at a few points with the rows and
// the eye as unknowns and compared with the formula.
//
// texbem takes its 2x2 matrix from the stage's bump environment, so the
// constants written in the expression only document it: the application
// gives the stage the same matrix. A texbem colour whose r, g and b are
// read only scaled by saturate(T.b * l + o) becomes texbeml, the luminance
// scale and offset likewise the stage's. texm3x2depth is not produced; such shapes are reported as reads this model cannot map. Dot products of the texm form
// read by arithmetic become texdp3 (one row) or texm3x3 (three consecutive
// rows) in ps_1_2 and ps_1_3.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/backend/intermediate_program.h"

namespace codegen {

struct DependentRead {
    size_t sample = 0;          // the lookup instruction
    uint32_t opcode = 0;        // instruction of the lookup's stage
    size_t source = 0;          // lookup whose result T the coordinates read
    bool signedScale = false;   // T is read with _bx2
    int32_t row = -1;           // first texture coordinate read (texm*, texdp3tex, texbem), -1 for texreg2*
    std::vector<int32_t> reads; // T's components the instruction reads (kept live)
    int32_t eye = -1;           // texm3x3spec: the eye vector's x (a constant register)
};

enum class ReadFailure {
    None,
    NotMatched,     // no shape fits (X4523)
    Rows,           // matrix rows are not consecutive texture coordinates (X4525)
    Double,         // T itself is a dependent read (X4534)
    ModifierAr,     // texreg2ar/gb shape with a modifier (X4535)
    ModifierRgb,    // texreg2rgb shape with a modifier other than _bx2 (X4535)
    NeedsRgb,       // only texreg2rgb fits, and the model lacks it (X4536)
};

// Texture coordinate index of an input argument, -1 when it is not one.
int32_t Ps1TexcoordIndex(const IntermediateProgram& p, int32_t arg);

// Whether lookup `inst` reads a texture coordinate input in order (or u, u
// for a one-dimensional lookup); *stage receives its index.
bool Ps1DirectLookup(const IntermediateProgram& p, const IrInstruction& inst, int32_t* stage);

// Matches lookup `index` of `p` (uses must be current) for model 1.`minor`.
ReadFailure MatchDependentRead(const IntermediateProgram& p, size_t index, int minor, DependentRead* read);

// Whether the colour of texbem read `read` is only read scaled by
// saturate(T.b * l + o), l and o constants (texbeml, whose luminance scale
// and offset the stage's settings give); *scales receives the three
// multiplications.
bool MatchBumpLuminance(const IntermediateProgram& p, const DependentRead& read, std::vector<size_t>* scales);

// Whether dot product `index` is dot(tN.xyz, T'.xyz) with T a lookup at its
// own texture coordinates: the row N, T's lookup and its _bx2 (texdp3 and
// texm3x3 compute it for arithmetic in ps_1_2 and ps_1_3).
bool MatchTexcoordDot(const IntermediateProgram& p, size_t index, int32_t* row, size_t* source, bool* signedScale);

}  // namespace codegen
