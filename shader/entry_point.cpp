// Choice of the entry function among the top-level declarations.
#include "shader/compile_pipeline.h"

#include <cstring>

namespace {

// Version a function applies to: 0 without a target, the row's token for a
// known target, 0xFFFFFFFF for an unknown target name.
uint32_t CandidateVersion(const EntryCandidate& candidate) {
    if (!candidate.target) return 0;
    TargetDesc row;
    if (FAILED(FindTargetByName(candidate.target, kTargetNone, &row))) return 0xFFFFFFFF;
    return row.version;
}

}  // namespace

int SelectEntryPoint(const std::vector<EntryCandidate>& candidates, const char* entryPoint, uint32_t version) {
    if (!entryPoint) return -1;
    int best = -1;
    uint32_t bestVersion = 0;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const EntryCandidate& c = candidates[i];
        if (!c.hasBody || !c.name || std::strcmp(c.name, entryPoint) != 0) continue;
        uint32_t v = CandidateVersion(c);
        if (v >= 0x10000 && (v >> 16) != (version >> 16)) continue;
        if ((v & 0xFFFF) != 0 && (v & 0xFFFF) != (version & 0xFFFF)) continue;
        if (best < 0 || v > bestVersion) {
            best = static_cast<int>(i);
            bestVersion = v;
        }
    }
    return best;
}
