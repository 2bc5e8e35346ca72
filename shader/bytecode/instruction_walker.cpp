#include "shader/bytecode/instruction_walker.h"

using namespace gfx::isa;

bool IsKnownVersionKind(uint32_t kind) {
    switch (kind) {
    case kVersionKindVertex:
    case kVersionKindPixel:
    case kVersionKindVertexFragment:
    case kVersionKindPixelFragment:
    case kVersionKindEffect:
    case kVersionKindTextureFill:
        return true;
    default:
        return false;
    }
}

InstructionWalker::InstructionWalker(const uint32_t* tokens, size_t count)
    : tokens_(tokens), count_(count), version_(count ? tokens[0] : 0) {}

WalkStatus InstructionWalker::Next(WalkedInstruction* out) {
    if (pos_ >= count_) return WalkStatus::Truncated;
    WalkedInstruction w;
    w.index = pos_;
    w.token = tokens_[pos_];
    size_t length = 0;
    if (w.token == kEndToken) {
        w.end = true;
        *out = w;
        pos_ = count_;
        return WalkStatus::End;
    }
    if (IsComment(w.token)) {
        w.comment = true;
        length = CommentLength(w.token);
    } else if (w.token & 0x80000000u) {
        return WalkStatus::BadToken;
    } else if (TrustsLength()) {
        length = (w.token >> 24) & 0xF;
    } else if ((w.token & 0xFFFF) == OP_DEF) {
        length = 5;
    } else {
        size_t p = pos_ + 1;
        while (p < count_ && (tokens_[p] & 0x80000000u)) ++p;
        length = p - pos_ - 1;
    }
    if (length > count_ - pos_ - 1) return WalkStatus::Truncated;
    w.params = tokens_ + pos_ + 1;
    w.paramCount = length;
    pos_ += 1 + length;
    *out = w;
    return WalkStatus::Ok;
}
