#include "shader/backend/codegen/ps1_code_generator.h"

#include <algorithm>
#include <cmath>

#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/codegen/ps1_messages.h"
#include "shader/backend/ir_passes.h"
#include "shader/frontend/lowering/lowering.h"

namespace codegen {

using namespace gfx::isa;

void Ps1CodeGenerator::SetLimits() {
    limits.pixelShader = true;
    physicalRegisters.assign(pools.size(), -1);
    physicalRegisters[kPoolTemps] = TempLimit();
}

int Ps1CodeGenerator::TempLimit() const {
    // ps_1_4: the r registers the stages leave free; earlier models: r0, r1
    // and the t registers no stage or coordinate uses.
    const uint32_t used = stages_ | coordinates_;
    int free = 0;
    for (int r = 0; r < (IsPs14() ? 6 : 4); ++r) free += !(used & (1u << r));
    return IsPs14() ? std::max(free, 1) : 2 + free;
}

void Ps1CodeGenerator::MapTemp(int32_t packed, uint32_t* type, uint32_t* number) const {
    const uint32_t used = stages_ | coordinates_;
    *type = REG_TEMP;
    *number = uint32_t(std::max(packed, 0));
    int32_t k = IsPs14() ? -1 : 1;
    if (!IsPs14() && packed < 2) return;
    for (uint32_t r = 0; r < (IsPs14() ? 6u : 4u); ++r) {
        if (used & (1u << r)) continue;
        if (++k == packed) {
            *type = IsPs14() ? uint32_t(REG_TEMP) : uint32_t(REG_TEXTURE);
            *number = r;
            return;
        }
    }
    *number = 6;  // beyond the model: the encoder reports it
}

HRESULT Ps1CodeGenerator::VectorizeProgram() {
    // Lookups become texture stages: a lookup at a texture coordinate input
    // read in order samples that stage; a dependent read is matched onto a
    // texture addressing instruction (ps1_dependent_reads.h).
    ComputeUses();
    std::vector<int32_t> stageOf(instructions.size(), -1);
    std::vector<DependentRead> reads;
    std::vector<size_t> later;  // ps_1_4 lookups of the second phase
    for (size_t i = 0; i < instructions.size(); ++i) {
        IrInstruction& inst = instructions[i];
        if (!IsSampleOp(inst.code())) continue;
        int32_t stage = -1;
        if (Ps1DirectLookup(*this, inst, &stage)) {
            stageOf[i] = stage;
            continue;
        }
        const uint32_t kind = SampleKindOf(inst.code());
        if (kind != kSamplePlain) {
            Report(&inst.location, codegen_diag::kPs1NotSupported, OpName(inst.code()), "", Minor());
            return E_FAIL;
        }
        if (IsPs14()) {
            HRESULT hr = CheckSecondPhaseLookup(i);
            if (FAILED(hr)) return hr;
            later.push_back(i);
            continue;
        }
        DependentRead read;
        const ReadFailure failure = MatchDependentRead(*this, i, Minor(), &read);
        if (failure == ReadFailure::NotMatched && DependsOnColour(i)) {
            Report(&inst.location, codegen_diag::kPs1DependentOnColor);
            return E_FAIL;
        }
        switch (failure) {
            case ReadFailure::None: {
                std::vector<size_t> scales;
                if (MatchBumpLuminance(*this, read, &scales)) {
                    // texbeml scales the colour itself: the products become copies.
                    read.opcode = OP_TEXBEML;
                    const int32_t* colour = inst.outputs.data();
                    for (size_t s : scales) {
                        IrInstruction& scale = instructions[s];
                        const uint32_t n = scale.count();
                        std::vector<int32_t> copied(n);
                        for (uint32_t k = 0; k < n; ++k)
                            copied[k] = std::find(colour, colour + 3, scale.inputs[k]) != colour + 3 ? scale.inputs[k]
                                                                                                     : scale.inputs[n + k];
                        scale.op = MakeOp(kOpMove, n);
                        scale.inputs = copied;
                    }
                    ComputeUses();
                }
                reads.push_back(read);
                continue;
            }
            case ReadFailure::Rows: Report(&inst.location, codegen_diag::kPs1TexmRows, Minor()); break;
            case ReadFailure::Double: Report(&inst.location, codegen_diag::kPs1DoubleDependent); break;
            case ReadFailure::ModifierAr: Report(&inst.location, codegen_diag::kPs1Texreg2ArModifier); break;
            case ReadFailure::ModifierRgb: Report(&inst.location, codegen_diag::kPs1Texreg2RgbModifier); break;
            case ReadFailure::NeedsRgb: Report(&inst.location, codegen_diag::kPs1NeedsTexreg2Rgb, Minor()); break;
            case ReadFailure::NotMatched: Report(&inst.location, codegen_diag::kPs1DependentRead, Minor()); break;
        }
        return E_FAIL;
    }
    int texturePool = -1;
    std::map<uint32_t, int32_t> stageSampler;  // stage -> sampler pool
    auto bindStage = [&](IrInstruction& inst, int32_t stage) -> HRESULT {
        if (stage < 0 || stage >= TexcoordLimit()) {
            Report(&inst.location, codegen_diag::kPs1TooManyLoads);
            return E_FAIL;
        }
        const uint32_t samplerPool = args[inst.inputs[0]].pool;
        auto [it, inserted] = stageSampler.insert({uint32_t(stage), int32_t(samplerPool)});
        if (!inserted && it->second != int32_t(samplerPool)) {
            Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
            return E_FAIL;
        }
        ArgumentPool& pool = pools[samplerPool];
        const std::string wanted = "s" + std::to_string(stage);
        if (!pool.binding.empty() && pool.binding != wanted && pool.binding != "S" + std::to_string(stage)) {
            Report(&inst.location, codegen_diag::kPs1SamplerStage, stage);
            return E_FAIL;
        }
        pool.binding = wanted;
        if (texturePool < 0) {
            texturePool = AddPool("t", kPoolBound | kPoolReadable | kPoolWritable, -1, 4);
            if (texturePool < 0) return E_OUTOFMEMORY;
        }
        for (uint32_t c = 0; c < inst.outputs.size(); ++c) {
            const int32_t out = inst.outputs[c];
            if (out < 0) continue;
            args[out].pool = uint32_t(texturePool);
            args[out].reg = stage;
            args[out].component = int32_t(c);
        }
        stages_ |= 1u << stage;
        return S_OK;
    };
    if (IsPs14()) {
        HRESULT hr = PlacePs14Lookups(&stageOf, bindStage);
        if (FAILED(hr)) return hr;
    }
    for (size_t i = 0; i < instructions.size() && !IsPs14(); ++i) {
        if (stageOf[i] < 0) continue;
        HRESULT hr = bindStage(instructions[i], stageOf[i]);
        if (FAILED(hr)) return hr;
    }
    HRESULT hr = PlaceDependentReads(reads, stageOf, bindStage);
    if (FAILED(hr)) return hr;
    if (!IsPs14() && Minor() >= 2) PlaceTexcoordDots(stageOf);
    if (!later.empty()) {
        // Second-phase stages take no texture coordinate of their own: the
        // sampler's stage when it is bound, else the first stage nothing uses.
        uint32_t mentioned = 0;
        for (size_t i = 0; i < instructions.size(); ++i) {
            if (stageOf[i] >= 0) continue;
            for (int32_t in : instructions[i].inputs) {
                const int32_t index = Ps1TexcoordIndex(*this, in);
                if (index >= 0 && index < 32) mentioned |= 1u << index;
            }
        }
        for (size_t i : later) {
            IrInstruction& inst = instructions[i];
            const std::string& binding = pools[args[inst.inputs[0]].pool].binding;
            int32_t stage = -1;
            if (binding.size() >= 2 && (binding[0] == 's' || binding[0] == 'S')) stage = std::atoi(binding.c_str() + 1);
            for (int32_t k = 0; k < TexcoordLimit() && stage < 0; ++k)
                if (!((stages_ | mentioned) & (1u << k))) stage = k;
            if (stage >= 0 && stage < TexcoordLimit() && (stages_ & (1u << stage))) {
                Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
                return E_FAIL;
            }
            hr = bindStage(inst, stage);
            if (FAILED(hr)) return hr;
            secondPhase_ |= 1u << stage;
        }
    }
    // clip becomes texkill on a texture coordinate, which tests x, y and z.
    for (IrInstruction& inst : instructions) {
        if (inst.code() != kOpClip) continue;
        const uint32_t n = inst.count();
        if (n != 3) {
            Report(&inst.location, codegen_diag::kPs1ClipVector, Minor());
            return E_FAIL;
        }
        const int32_t stage = Ps1TexcoordIndex(*this, inst.inputs[0]);
        bool inOrder = true;
        for (uint32_t c = 0; c < n; ++c) {
            const int32_t index = Ps1TexcoordIndex(*this, inst.inputs[c]);
            if (index < 0 || index != stage) {
                Report(&inst.location, codegen_diag::kPs1LoadNotTexcoord);
                return E_FAIL;
            }
            inOrder &= args[inst.inputs[c]].component == int32_t(c);
        }
        if (!inOrder) {
            Report(&inst.location, codegen_diag::kPs1ClipSwizzled);
            return E_FAIL;
        }
        if (stage >= TexcoordLimit()) {
            Report(&inst.location, codegen_diag::kPs1TooManyLoads);
            return E_FAIL;
        }
        kills_ |= 1u << stage;
        inst.op = MakeOp(kOpEmpty, 0);
        inst.inputs.clear();
    }
    // Texture coordinates read by arithmetic: texcoord (ps_1_1 to ps_1_3) or
    // texcrd into the stage's register (ps_1_4).
    for (const IrInstruction& inst : instructions) {
        // Second-phase lookups read their coordinates from texcrd registers.
        const bool lookup = IsSecondPhaseLookup(inst);
        if (IsSampleOp(inst.code()) && !lookup) continue;
        for (int32_t in : inst.inputs) {
            const int32_t index = in >= 0 ? Ps1TexcoordIndex(*this, in) : -1;
            if (index < 0 || index >= TexcoordLimit()) continue;
            const bool first = crdRegister_[size_t(index)] < 0;
            int32_t reg = first ? index : crdRegister_[size_t(index)];
            if (first && (stages_ & (1u << index)) && IsPs14()) {
                // texcrd may copy into any r register a stage leaves free.
                reg = -1;
                for (int32_t r = 0; r < TexcoordLimit() && reg < 0; ++r)
                    if (!((stages_ | coordinates_) & (1u << r))) reg = r;
            }
            if (reg < 0 || (first && ((stages_ | coordinates_) & (1u << reg)))) {
                Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
                return E_FAIL;
            }
            if (first && !lookup) Report(&inst.location, codegen_diag::kPs1TexcoordClamped, Minor());
            crdRegister_[size_t(index)] = reg;
            coordinates_ |= 1u << reg;
            if (args[in].component == 3) {
                // texcoord and texcrd copy x, y and z only.
                if (IsPs14()) Report(&inst.location, codegen_diag::kPs14TexcoordW);
                else Report(&inst.location, codegen_diag::kPs1TexcoordW, Minor());
                return E_FAIL;
            }
        }
    }
    physicalRegisters[kPoolTemps] = TempLimit();
    if (secondPhase_) return VectorizeForModel();
    HRESULT packed = OnCopy([](IntermediateProgram& copy) { return VectorizeAndPack(copy); });
    if (FAILED(packed)) return packed;
    // Packing drops arguments nothing reads; the eye vector of texm3x3spec
    // is read by a stage instruction only, so it comes back here as an extra
    // input of the stage's lookup, which keeps its constant bound and named.
    for (auto& [stage, eye] : eyeArguments_) {
        eye.firstWriter = eye.lastReader = eye.firstUse = eye.lastUse = -1;
        eye.replacement = int32_t(args.size());
        stageOps_[stage].eye = int32_t(args.size());
        args.push_back(eye);
        const int32_t stageNumber = int32_t(stage);  // a structured binding cannot be captured everywhere
        for (IrInstruction& inst : instructions) {
            if (!IsSampleOp(inst.code())) continue;
            const bool stageLookup = std::any_of(inst.outputs.begin(), inst.outputs.end(), [&](int32_t out) {
                return out >= 0 && ClassOf(out) == ArgClass::TextureResult && args[out].reg == stageNumber;
            });
            if (stageLookup) {
                inst.inputs.push_back(stageOps_[stage].eye);
                break;
            }
        }
    }
    ComputeUses();
    return packed;
}

uint32_t Ps1CodeGenerator::TexcoordsReadByArithmetic() const {
    uint32_t mentioned = 0;
    for (const IrInstruction& inst : instructions) {
        if (IsSampleOp(inst.code())) continue;
        for (int32_t in : inst.inputs) {
            const int32_t index = Ps1TexcoordIndex(*this, in);
            if (index >= 0 && index < 32) mentioned |= 1u << index;
        }
    }
    return mentioned;
}

HRESULT Ps1CodeGenerator::PlaceDependentReads(const std::vector<DependentRead>& reads,
                                              const std::vector<int32_t>& stageOf, const StageBinder& bindStage) {
    if (reads.empty()) return S_OK;
    // Texture coordinates that arithmetic mentions are not taken for the
    // stages of texreg2* reads, which need none of their own.
    const uint32_t mentioned = TexcoordsReadByArithmetic();
    // Reads whose stage the instruction fixes first, then the texreg2* ones.
    std::vector<const DependentRead*> order;
    for (const DependentRead& read : reads)
        if (read.row >= 0) order.push_back(&read);
    for (const DependentRead& read : reads)
        if (read.row < 0) order.push_back(&read);
    for (const DependentRead* read : order) {
        IrInstruction& inst = instructions[read->sample];
        const int32_t source = stageOf[read->source];
        std::vector<int32_t> pads;
        int32_t stage = read->row;
        if (read->opcode == OP_TEXM3x2TEX) {
            pads = {read->row};
            stage = read->row + 1;
        } else if (read->opcode == OP_TEXM3x3TEX || read->opcode == OP_TEXM3x3SPEC || read->opcode == OP_TEXM3x3VSPEC) {
            pads = {read->row, read->row + 1};
            stage = read->row + 2;
        } else if (read->row < 0) {
            const std::string& binding = pools[args[inst.inputs[0]].pool].binding;
            if (binding.size() >= 2 && (binding[0] == 's' || binding[0] == 'S')) {
                stage = std::atoi(binding.c_str() + 1);
            } else {
                for (int32_t k = source + 1; k < TexcoordLimit() && stage < 0; ++k)
                    if (!((stages_ | mentioned) & (1u << k))) stage = k;
                if (stage < 0) {
                    Report(&inst.location, codegen_diag::kPs1TooManyLoads);
                    return E_FAIL;
                }
            }
        }
        // The source stage must be sampled before every stage of the read.
        const int32_t first = pads.empty() ? stage : pads[0];
        if (source < 0 || first <= source) {
            Report(&inst.location, codegen_diag::kPs1DependentRead, Minor());
            return E_FAIL;
        }
        for (int32_t pad : pads) {
            if (pad >= TexcoordLimit()) {
                Report(&inst.location, codegen_diag::kPs1TooManyLoads);
                return E_FAIL;
            }
            if (stages_ & (1u << pad)) {
                Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
                return E_FAIL;
            }
        }
        if (stage >= 0 && stage < TexcoordLimit() && (stages_ & (1u << stage))) {
            Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
            return E_FAIL;
        }
        HRESULT hr = bindStage(inst, stage);
        if (FAILED(hr)) return hr;
        const uint32_t pad = read->opcode == OP_TEXM3x2TEX ? uint32_t(OP_TEXM3x2PAD) : uint32_t(OP_TEXM3x3PAD);
        for (int32_t k : pads) {
            stages_ |= 1u << k;
            stageOps_[size_t(k)] = {pad, source, read->signedScale};
        }
        stageOps_[size_t(stage)] = {read->opcode, source, read->signedScale};
        if (read->eye >= 0) eyeArguments_.push_back({size_t(stage), args[read->eye]});
        // The lookup now reads T itself; the arithmetic that computed its
        // coordinates is left without readers and removed.
        const uint32_t n = inst.count();
        for (uint32_t c = 0; c < n && !read->reads.empty(); ++c)
            inst.inputs[n + c] = read->reads[std::min<size_t>(c, read->reads.size() - 1)];
    }
    RemoveDeadCode(*this);
    ComputeUses();
    return S_OK;
}

HRESULT Ps1CodeGenerator::PlacePs14Lookups(std::vector<int32_t>* stageOf, const StageBinder& bindStage) {
    // texld rK, tM samples stage K at any texture coordinate M: a lookup
    // takes the stage its sampler is bound to, else the stage of its
    // coordinate, else (a lookup with another sampler has that one) the
    // first stage that neither a lookup nor a texcrd of arithmetic needs.
    const uint32_t mentioned = TexcoordsReadByArithmetic();
    std::map<uint32_t, int32_t> samplerStage;  // sampler pool -> stage
    std::vector<size_t> deferred;
    for (int pass = 0; pass < 2; ++pass) {
        const size_t count = pass == 0 ? instructions.size() : deferred.size();
        for (size_t k = 0; k < count; ++k) {
            const size_t i = pass == 0 ? k : deferred[k];
            const int32_t coordinate = (*stageOf)[i];
            if (pass == 0 && coordinate < 0) continue;
            IrInstruction& inst = instructions[i];
            const uint32_t pool = args[inst.inputs[0]].pool;
            int32_t stage = -1;
            auto it = samplerStage.find(pool);
            if (it != samplerStage.end()) {
                // One stage per sampler, sampled once.
                if (texcoordOf_[size_t(it->second)] != coordinate) {
                    Report(&inst.location, codegen_diag::kPs1SamplerTwice, Minor());
                    return E_FAIL;
                }
                stage = it->second;
            } else {
                const std::string& binding = pools[pool].binding;
                const bool bound = binding.size() >= 2 && (binding[0] == 's' || binding[0] == 'S');
                stage = bound ? std::atoi(binding.c_str() + 1) : coordinate;
                const bool taken = stage >= 0 && stage < 32 && (stages_ & (1u << stage));
                if (taken && !bound) {
                    if (pass == 0) {
                        deferred.push_back(i);
                        continue;
                    }
                    stage = -1;
                    for (int32_t s = 0; s < TexcoordLimit() && stage < 0; ++s)
                        if (!((stages_ | mentioned) & (1u << s))) stage = s;
                    if (stage < 0) {
                        Report(&inst.location, codegen_diag::kPs1TooManyLoads);
                        return E_FAIL;
                    }
                } else if (taken) {
                    Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
                    return E_FAIL;
                }
            }
            HRESULT hr = bindStage(inst, stage);
            if (FAILED(hr)) return hr;
            samplerStage[pool] = stage;
            texcoordOf_[size_t(stage)] = coordinate;
            (*stageOf)[i] = stage;
        }
    }
    return S_OK;
}

void Ps1CodeGenerator::PlaceTexcoordDots(const std::vector<int32_t>& stageOf) {
    // dot(tN.xyz, T.xyz) read by arithmetic: texdp3 tN leaves it in every
    // component of tN; three such rows N, N+1, N+2 make texm3x3, whose
    // result (x, y, z, 1) is in tN+2. Where the texture coordinates are
    // needed otherwise, the dot products stay arithmetic on texcoord values.
    struct Row {
        size_t dot;
        size_t source;
        bool signedScale;
    };
    std::map<int32_t, Row> rows;
    uint32_t mentioned = 0;
    for (size_t i = 0; i < instructions.size(); ++i) {
        const IrInstruction& inst = instructions[i];
        if (inst.code() == kOpEmpty) continue;
        int32_t row = -1;
        size_t source = 0;
        bool signedScale = false;
        if (inst.code() == kOpDot && inst.count() == 3 && MatchTexcoordDot(*this, i, &row, &source, &signedScale) &&
            row >= 0 && row < TexcoordLimit() && !rows.count(row) && stageOf[source] >= 0 && stageOf[source] < row) {
            rows[row] = {i, source, signedScale};
            continue;
        }
        for (int32_t in : inst.inputs) {
            const int32_t index = in >= 0 && !IsSampleOp(inst.code()) ? Ps1TexcoordIndex(*this, in) : -1;
            if (index >= 0 && index < 32) mentioned |= 1u << index;
        }
    }
    int texturePool = -1;
    for (uint32_t p = 0; p < pools.size(); ++p)
        if (PoolClass(p) == ArgClass::TextureResult) texturePool = int32_t(p);
    if (texturePool < 0) return;  // no lookup, so no T either
    auto available = [&](int32_t row) {
        return rows.count(row) && !((stages_ | mentioned) & (1u << row));
    };
    auto place = [&](int32_t row, int32_t stage, uint32_t component) {
        IrInstruction& dot = instructions[rows[row].dot];
        IrArgument& out = args[dot.outputs[0]];
        out.pool = uint32_t(texturePool);
        out.reg = stage;
        out.component = int32_t(component);
        dot.op = MakeOp(kOpEmpty, 0);
        dot.inputs.clear();
        dot.outputs.clear();
        stages_ |= 1u << row;
    };
    bool changed = false;
    for (int32_t n = 0; n + 2 < TexcoordLimit(); ++n) {
        if (!available(n) || !available(n + 1) || !available(n + 2)) continue;
        const Row& a = rows[n];
        if (rows[n + 1].source != a.source || rows[n + 2].source != a.source ||
            rows[n + 1].signedScale != a.signedScale || rows[n + 2].signedScale != a.signedScale)
            continue;
        const int32_t source = stageOf[a.source];
        stageOps_[size_t(n)] = stageOps_[size_t(n + 1)] = {OP_TEXM3x3PAD, source, a.signedScale};
        stageOps_[size_t(n + 2)] = {OP_TEXM3x3, source, a.signedScale};
        for (uint32_t c = 0; c < 3; ++c) place(n + int32_t(c), n + 2, c);
        changed = true;
    }
    for (auto& [row, r] : rows) {
        if (!available(row)) continue;
        stageOps_[size_t(row)] = {OP_TEXDP3, stageOf[r.source], r.signedScale};
        place(row, row, 0);
        changed = true;
    }
    if (!changed) return;
    RemoveDeadCode(*this);
    ComputeUses();
}

bool Ps1CodeGenerator::DependsOnColour(size_t index) const {
    // Whether a colour input reaches the lookup's coordinates.
    std::vector<uint8_t> seen(instructions.size(), 0);
    std::vector<size_t> work = {index};
    while (!work.empty()) {
        const IrInstruction& inst = instructions[work.back()];
        const bool lookup = work.back() == index;
        work.pop_back();
        for (size_t k = lookup ? inst.count() : 0; k < inst.inputs.size(); ++k) {
            const int32_t in = inst.inputs[k];
            if (in < 0) continue;
            if (ClassOf(in) == ArgClass::Input && Ps1TexcoordIndex(*this, in) < 0) return true;
            const int32_t w = args[in].firstWriter;
            if (w >= 0 && size_t(w) < instructions.size() && !seen[size_t(w)]) {
                seen[size_t(w)] = 1;
                work.push_back(size_t(w));
            }
        }
    }
    return false;
}

HRESULT Ps1CodeGenerator::ResolveSemantics() {
    HRESULT hr = Ps2CodeGenerator::ResolveSemantics();
    if (FAILED(hr)) return hr;
    // ps_1_4 arithmetic reads texture coordinates from the register texcrd
    // copied them into.
    if (IsPs14())
        for (auto& [key, io] : ioRegisters_)
            if (io.valid && io.type == REG_TEXTURE) {
                io.type = REG_TEMP;
                if (io.number < crdRegister_.size() && crdRegister_[io.number] >= 0)
                    io.number = uint32_t(crdRegister_[io.number]);
            }
    return S_OK;
}

void Ps1CodeGenerator::AddTargetLiterals() {
    if (!Skip(kCompileSkipOptimization)) FoldSignedScale();
    ShiftScaledResults();
    // Only values an instruction still reads are worth the warning.
    std::vector<uint32_t> read(literalValues_.size(), 0);
    for (const IrInstruction& inst : instructions)
        for (int32_t in : inst.inputs)
            if (in >= 0 && ClassOf(in) == ArgClass::Literal && args[in].reg >= 0 && size_t(args[in].reg) < read.size())
                read[size_t(args[in].reg)] |= 1u << RegisterOf(in).component;
    bool warned = false;
    for (size_t r = 0; r < literalValues_.size(); ++r)
        for (int c = 0; c < 4; ++c) {
            double& v = literalValues_[r][size_t(c)];
            if (v >= -1.0 && v <= 1.0) continue;
            if (!warned && (read[r] & (1u << c))) {
                Report(nullptr, codegen_diag::kPs1LiteralClamped);
                warned = true;
            }
            v = std::clamp(v, -1.0, 1.0);
        }
    for (IrArgument& a : args)
        if (PoolClass(a.pool) == ArgClass::Literal) a.literal = std::clamp(a.literal, -1.0, 1.0);
    // The models replicate only some components: a literal operand that
    // would need another swizzle gets a register of its own with the values
    // where the instruction reads them.
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    for (size_t i = 0; i < instructions.size(); ++i) {
        const uint32_t code = instructions[i].code(), n = instructions[i].count();
        int operands = OperandCount(code);
        if (code == kOpMad || code == kOpMadNegated) operands = 3;
        const bool dot = code == kOpDot;
        if (dot) operands = 2;
        if (instructions[i].outputs.empty()) continue;
        for (int k = 0; k < operands && n <= 4; ++k) {
            std::vector<int32_t> list(instructions[i].inputs.begin() + std::ptrdiff_t(k * n),
                                      instructions[i].inputs.begin() + std::ptrdiff_t((k + 1) * n));
            bool literal = true;
            for (int32_t arg : list) literal &= ClassOf(arg) == ArgClass::Literal;
            if (!literal) continue;
            std::vector<uint32_t> positions(n);
            for (uint32_t c = 0; c < n; ++c)
                positions[c] = dot ? kPositions[c] : RegisterOf(instructions[i].outputs[std::min<size_t>(c, instructions[i].outputs.size() - 1)]).component;
            MOperand operand = SourceOf(list.data(), n, positions.data());
            if (AcceptSwizzle(&operand)) continue;
            std::array<double, 4> values;
            values.fill(args[list[0]].literal);
            for (uint32_t c = 0; c < n; ++c) values[positions[c]] = args[list[c]].literal;
            const int32_t reg = int32_t(literalValues_.size());
            literalValues_.push_back(values);
            literalUsed_.push_back(kMaskAll);
            for (uint32_t c = 0; c < n; ++c) {
                const double value = args[list[c]].literal;
                const uint32_t valueFlags = args[list[c]].flags;
                const int arg = AddArgument(kPoolLiterals, reg, int32_t(positions[c]), value);
                if (arg < 0) return;
                args[arg].flags = valueFlags;
                instructions[i].inputs[k * n + c] = arg;
            }
        }
    }
    AddSelectorLiterals();
}

bool Ps1CodeGenerator::SelectsToClamps() {
    // The clamps saturate leaves: select(x, x, 0) is max(x, 0), and
    // select(x - 1, 1, x) is min(x, 1).
    bool changed = false;
    for (size_t s = 0; s < instructions.size(); ++s) {
        IrInstruction& inst = instructions[s];
        const uint32_t n = inst.count();
        if (inst.code() != kOpSelect || n == 0 || inst.inputs.size() != 3 * n || inst.outputs.size() != n) continue;
        bool isMax = true, isMin = true;
        int32_t difference = -1;
        for (uint32_t c = 0; c < n; ++c) {
            const int32_t cond = inst.inputs[c], p = inst.inputs[n + c], q = inst.inputs[2 * n + c];
            isMax = isMax && SameValue(cond, s, p, s) && IsLiteralValue(q, 0.0);
            const bool plain = cond >= 0 && !(args[cond].flags & kValueSourceModifierMask);
            const int32_t w = plain ? WriterBefore(s, cond) : -1;
            bool min = w >= 0 && instructions[size_t(w)].code() == kOpAdd && IsLiteralValue(p, 1.0) &&
                       (difference < 0 || difference == w);
            if (min) {
                const IrInstruction& add = instructions[size_t(w)];
                const uint32_t m = add.count();
                bool found = false;
                for (uint32_t k = 0; k < m && !found; ++k) {
                    if (add.outputs[k] < 0 || SlotOf(add.outputs[k]) != SlotOf(cond) || add.inputs.size() != 2 * m) continue;
                    for (int side = 0; side < 2 && !found; ++side) {
                        const int32_t x = add.inputs[side ? m + k : k], one = add.inputs[side ? k : m + k];
                        found = IsLiteralValue(one, -1.0) && SameValue(x, size_t(w), q, s);
                    }
                }
                min = found;
                difference = w;
            }
            isMin = isMin && min;
        }
        if (!isMax && !isMin) continue;
        if (isMax) {
            // max(x, 0): inputs x then the literal 0.
            inst.inputs.erase(inst.inputs.begin(), inst.inputs.begin() + n);
        } else {
            // min(x, 1): inputs x then the literal 1.
            std::vector<int32_t> inputs(inst.inputs.begin() + 2 * n, inst.inputs.end());
            inputs.insert(inputs.end(), inst.inputs.begin() + n, inst.inputs.begin() + 2 * n);
            inst.inputs = inputs;
        }
        inst.op = MakeOp(isMax ? kOpMax : kOpMin, n);
        if (difference >= 0 && !isMax) RemoveIfUnread(size_t(difference));
        changed = true;
    }
    return changed;
}

void Ps1CodeGenerator::ApplyPatterns() {
    FoldNegation();
    // Clamps into 0 to 1 (saturate) become the _sat result modifier.
    if (!Skip(kCompileSkipOptimization)) FoldNegationThroughRegisters();
    FuseMultiplyAdd();
    if (!Skip(kCompileSkipOptimization)) {
        SelectsToClamps();
        FoldSaturate();
        ComputeUses();
        DropUnreadLiteralRegisters();
    }
}

void Ps1CodeGenerator::DropUnreadLiteralRegisters() {
    // Literal registers the patterns left unread are not defined; the
    // selectors are read by instructions the lowering adds later.
    const std::vector<uint32_t> components = LiteralComponentsRead();
    std::vector<bool> read(components.size(), false);
    for (size_t r = 0; r < read.size(); ++r) read[r] = components[r] != 0;
    for (int32_t r : selectorRegister_)
        if (r >= 0 && size_t(r) < read.size()) read[size_t(r)] = true;
    const std::vector<int32_t> renumber = CompactLiteralRegisters(read);
    for (int32_t& r : selectorRegister_)
        if (r >= 0) r = renumber[size_t(r)];
}

HRESULT Ps1CodeGenerator::EmitDeclarations() {
    // The texture stages, in stage order, ahead of the arithmetic.
    for (uint32_t stage = 0; stage < 8; ++stage) {
        MInst m;
        if (stage < stageOps_.size() && stageOps_[stage].opcode) {
            // A texture addressing instruction reading an earlier stage.
            const StageOp& op = stageOps_[stage];
            m.opcode = op.opcode;
            m.dest.type = REG_TEXTURE;
            m.dest.number = stage;
            MOperand source;
            source.type = REG_TEXTURE;
            source.number = uint32_t(op.source);
            source.modifier = op.signedScale ? uint32_t(SRCMOD_SIGN) : uint32_t(SRCMOD_NONE);
            m.src.push_back(source);
            if (op.opcode == OP_TEXM3x3SPEC) {
                // The eye vector's constant register.
                const RegRef eye = RegisterOf(op.eye);
                MOperand constant;
                constant.type = eye.type;
                constant.number = eye.number;
                m.src.push_back(constant);
            }
        } else if (secondPhase_ & (1u << stage)) {
            continue;  // sampled after the phase marker
        } else if (stages_ & (1u << stage)) {
            m.opcode = OP_TEX;
            if (IsPs14()) {
                m.dest = TempOperand(stage);
                MOperand coordinate;
                coordinate.type = REG_TEXTURE;
                coordinate.number = uint32_t(texcoordOf_[stage] >= 0 ? texcoordOf_[stage] : int32_t(stage));
                m.src.push_back(coordinate);
            } else {
                m.dest.type = REG_TEXTURE;
                m.dest.number = stage;
            }
        } else if (coordinates_ & (1u << stage)) {
            m.opcode = OP_TEXCOORD;
            if (IsPs14()) {
                m.dest = TempOperand(stage, kMaskX | kMaskY | kMaskZ);
                MOperand coordinate;
                coordinate.type = REG_TEXTURE;
                coordinate.number = stage;
                for (uint32_t t = 0; t < crdRegister_.size(); ++t)
                    if (crdRegister_[t] == int32_t(stage)) coordinate.number = t;
                m.src.push_back(coordinate);
            } else {
                m.dest.type = REG_TEXTURE;
                m.dest.number = stage;
            }
        } else {
            continue;
        }
        HRESULT hr = Encode(m, nullptr);
        if (FAILED(hr)) return hr;
    }
    for (uint32_t stage = 0; stage < 8; ++stage) {
        if (!(kills_ & (1u << stage))) continue;
        MInst m;
        m.opcode = OP_TEXKILL;
        m.dest.type = REG_TEXTURE;
        m.dest.number = stage;
        HRESULT hr = Encode(m, nullptr);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Ps1CodeGenerator::LowerInstruction(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    const uint32_t code = inst.code();
    if (IsSampleOp(code)) return IsSecondPhaseLookup(inst) ? EmitSecondPhase(index, out) : S_OK;
    switch (code) {
        case kOpEmpty:
        case kOpMove:
        case kOpNegate:
        case kOpAdd:
        case kOpMul:
        case kOpMad:
        case kOpMadNegated:
            return Ps2CodeGenerator::LowerInstruction(index, out);
        case kOpMoveTimes2:
        case kOpMoveTimes4:
        case kOpMoveTimes8:
            return EmitShiftedMove(index, out);
        case kOpSelect:
            if (Minor() >= 2) return EmitComponentWise(index, OP_CMP, out);
            break;
        case kOpDot:
            if (inst.count() == 3 || (inst.count() == 4 && Minor() >= 2)) return EmitDot(index, out);
            break;
        default: break;
    }
    Report(LocationOf(index), codegen_diag::kPs1NotSupported, OpName(code), "", Minor());
    return E_NOTIMPL;
}

bool Ps1CodeGenerator::AcceptSwizzle(MOperand* o) const {
    static constexpr uint32_t kAllowed[] = {kSwizzleIdentity, kSwizzleWWWW, kSwizzleXXXX, kSwizzleYYYY, kSwizzleZZZZ};
    const size_t count = IsPs14() ? 5 : 2;
    for (size_t k = 0; k < count; ++k) {
        bool match = true;
        for (int i = 0; i < 4 && match; ++i)
            if (o->readMask & (1u << i)) match = SwizzleComponent(kAllowed[k], i) == o->swizzle[i];
        if (!match) continue;
        for (int i = 0; i < 4; ++i) o->swizzle[i] = uint8_t(SwizzleComponent(kAllowed[k], i));
        return true;
    }
    return false;
}

HRESULT Ps1CodeGenerator::Legalize(size_t index, std::vector<MInst>* insts) {
    for (const MInst& m : *insts)
        for (const MOperand& s : m.src)
            if (s.relative) {
                Report(LocationOf(index), codegen_diag::kPs1RelativeAddressing);
                return E_FAIL;
            }
    SaturateResults(index, insts);
    HRESULT hr = EnforceReadPorts(index, insts, 2);
    if (FAILED(hr)) return hr;
    for (MInst& m : *insts) {
        // Write masks: .rgb, .a or .rgba only; the widened components must
        // hold nothing that is still needed.
        if (m.hasDest) {
            uint32_t mask = m.dest.mask;
            if (mask != kMaskW && mask != kMaskAll && mask != (kMaskX | kMaskY | kMaskZ))
                mask = (mask & kMaskW) ? kMaskAll : (kMaskX | kMaskY | kMaskZ);
            const uint32_t extra = mask & ~m.dest.mask;
            if (extra) {
                // Reads a pattern gave a source modifier count too: they have
                // no writer of their own but hold an earlier write.
                for (const IrArgument& a : args) {
                    if (PoolClass(a.pool) != ArgClass::Temp || a.reg < 0 || (a.firstWriter < 0 && a.firstUse < 0)) continue;
                    const int32_t arg = int32_t(&a - args.data());
                    const RegRef r = RegisterOf(arg);
                    if (r.type != m.dest.type || r.number != m.dest.number || !(extra & (1u << r.component))) continue;
                    if (HeldFrom(arg) < int32_t(index) && a.lastReader > int32_t(index)) {
                        Report(LocationOf(index), codegen_diag::kPs1WriteMasks, Minor());
                        return E_FAIL;
                    }
                }
                // The widened components hold nothing live: their sources
                // may read anything, so the swizzle stays free there.
                m.dest.mask = mask;
            }
        }
    }
    for (size_t j = 0; j < insts->size(); ++j) {
        for (size_t k = 0; k < (*insts)[j].src.size(); ++k) {
            MOperand& s = (*insts)[j].src[k];
            // texdp3 leaves its dot product in every component.
            if (!IsPs14() && s.type == REG_TEXTURE && s.number < stageOps_.size() &&
                stageOps_[s.number].opcode == OP_TEXDP3)
                for (int i = 0; i < 4; ++i) s.swizzle[i] = uint8_t(i);
            if (AcceptSwizzle(&s)) continue;
            // ps_1_1 to ps_1_3 replicate only alpha: x, y or z goes to every
            // component through a dp3 with a selector literal.
            const int c = ReplicatedComponent(s);
            if (!IsPs14() && c >= 0 && c < 3 && selectorRegister_[c] >= 0) {
                uint32_t t;
                HRESULT hr = Scratch(index, &t);
                if (FAILED(hr)) return hr;
                MOperand from = s;
                for (int i = 0; i < 4; ++i) from.swizzle[i] = uint8_t(i);
                from.readMask = kMaskAll;
                MOperand selector;
                selector.type = REG_CONST;
                selector.number = uint32_t(literalBase_[size_t(selectorRegister_[c])]);
                s = Temp(t);
                insts->insert(insts->begin() + std::ptrdiff_t(j), MInst{OP_DP3, true, Temp(t), {from, selector}});
                ++j;
                continue;
            }
            if (IsPs14()) Report(LocationOf(index), codegen_diag::kPs1Swizzle);
            else Report(LocationOf(index), codegen_diag::kCannotMapPixel);
            return E_FAIL;
        }
    }
    return S_OK;
}

int Ps1CodeGenerator::ReplicatedComponent(const MOperand& s) {
    int c = -1;
    for (int i = 0; i < 4; ++i) {
        if (!(s.readMask & (1u << i))) continue;
        if (c >= 0 && c != s.swizzle[i]) return -1;
        c = s.swizzle[i];
    }
    return c;
}

void Ps1CodeGenerator::AddSelectorLiterals() {
    // A non-literal operand whose components all come from one of x, y, z
    // of its register, read at another position, needs a replicate swizzle
    // the models before ps_1_4 lack; each such component gets a literal
    // selector (1, 0, 0, 0), (0, 1, 0, 0) or (0, 0, 1, 0) for a dp3.
    selectorRegister_ = {-1, -1, -1};
    bool needed[3] = {false, false, false};
    if (IsPs14()) {
        // ps_1_4 replicates every component; the selectors gather the
        // coordinates of second-phase lookups that are not in place.
        for (const IrInstruction& inst : instructions) {
            if (!IsSecondPhaseLookup(inst)) continue;
            bool plain = false;
            const MOperand coordinate = SecondPhaseCoordinate(inst, &plain);
            for (int c = 0; c < 3 && !plain; ++c) needed[c] |= (coordinate.readMask & (1u << c)) != 0;
        }
    }
    for (const IrInstruction& inst : instructions) {
        if (IsPs14()) break;
        const uint32_t code = inst.code(), n = inst.count();
        if (IsSampleOp(code) || inst.outputs.empty() || n == 0 || n > 4) continue;
        int operands = OperandCount(code);
        if (code == kOpMad || code == kOpMadNegated || code == kOpSelect) operands = 3;
        if (code == kOpDot) operands = 2;
        if (inst.inputs.size() < size_t(operands) * n) continue;
        for (int k = 0; k < operands; ++k) {
            int component = -1;
            bool same = true, moved = false;
            for (uint32_t c = 0; c < n && same; ++c) {
                const int32_t arg = inst.inputs[size_t(k) * n + c];
                const ArgClass cls = ClassOf(arg);
                if (cls == ArgClass::Literal || cls == ArgClass::None || cls == ArgClass::Sampler) same = false;
                // texdp3 results hold the same value in every component.
                const RegRef where = RegisterOf(arg);
                if (where.type == REG_TEXTURE && where.number < stageOps_.size() &&
                    stageOps_[where.number].opcode == OP_TEXDP3)
                    same = false;
                if (!same) break;
                const int32_t from = int32_t(RegisterOf(arg).component);
                const int32_t at = code == kOpDot ? int32_t(c) : int32_t(RegisterOf(inst.outputs[std::min<size_t>(c, inst.outputs.size() - 1)]).component);
                if (component >= 0 && component != from) same = false;
                component = from;
                moved |= from != at;
            }
            if (same && moved && component >= 0 && component < 3) needed[component] = true;
        }
    }
    for (int c = 0; c < 3; ++c) {
        if (!needed[c]) continue;
        std::array<double, 4> values{0, 0, 0, 0};
        values[size_t(c)] = 1.0;
        selectorRegister_[size_t(c)] = int32_t(literalValues_.size());
        literalValues_.push_back(values);
        literalUsed_.push_back(kMaskAll);
    }
}

}  // namespace codegen
