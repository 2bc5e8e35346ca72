// The inputs file of kiln run: {"n": N, "inputs": {"SEMANTIC": [[x, y, z, w], ...]}}.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "gfx/shaders/shader_program.h"
#include "json.h"

// At most this many vertices or pixels per run (keeps memory bounded).
constexpr size_t kMaxRunItems = 1u << 18;

using Float4 = std::array<float, 4>;

struct InputStream {
    gfx::ShaderSemantic semantic;  // as the program declares it (slot = where it goes)
    std::vector<Float4> values;    // one per vertex or pixel
};

struct RunInputs {
    size_t count = 0;
    std::vector<InputStream> streams;  // every input the program reads, in its order
};

// Fills one stream per program input: values from the file, missing
// components 0 (w 1 for a vertex POSITION), missing inputs all 0. Each
// problem adds one message to *errors ("where: what"); a valid semantic the
// program does not read (the compiler may drop an unused parameter) is
// ignored with a message in *warnings.
void ReadInputs(const json::Value& doc, const std::string& file, const gfx::ShaderProgram& program, RunInputs* out,
                std::vector<std::string>* errors, std::vector<std::string>* warnings);

// Converts a JSON number to float; false when it does not fit in one.
bool ToFloat(const json::Value& v, float* out);

// The JSON reader must hold the largest inputs file the help promises: every
// input a program can read (16 vertex input registers), each with
// kMaxRunItems vectors written as [x, y, z, w] (five values).
static_assert(json::kMaxValues > 16 * 5 * kMaxRunItems);
