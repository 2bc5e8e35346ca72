// The uniforms file of kiln run: {"name": [values...], "c5": [x, y, z, w]}.
// Names are looked up in the program's constant table (paths such as
// "lights[1].color" work too); "cN", "iN" and "bN" write registers directly.
#pragma once

#include <string>
#include <vector>

#include "gfx/shaders/shader_program.h"
#include "json.h"
#include "shader/bytecode/constant_table.h"

// Loads the table's default values into *constants (initialised globals).
void LoadUniformDefaults(IKLConstantTable* table, gfx::ShaderConstants* constants);

// Writes every member of `doc` into *constants. Matrices are given row by
// row as the source writes them, either flat or as nested rows; they are
// placed by the packing the table records (rows or columns per register).
void ReadUniforms(const json::Value& doc, const std::string& file, IKLConstantTable* table, bool pixel,
                  gfx::ShaderConstants* constants, std::vector<std::string>* errors);

// The sampler register a name stands for: "s3" or a sampler constant's name;
// -1 when it is neither.
int SamplerRegister(IKLConstantTable* table, const std::string& name);
