// Matrices in both packings, a vector uniform and an initialised global.
float4x4 ColumnMajor;
row_major float4x4 RowMajor;
float4x3 ColumnMajor43;
row_major float4x3 RowMajor43;
float4 Tint;
float Scale = 2.0;

struct VOut {
    float4 position : POSITION;
    float4 color : COLOR0;
    float4 a : TEXCOORD0;
    float3 b : TEXCOORD1;
    float3 c : TEXCOORD2;
};

VOut main(float4 p : POSITION, float4 color : COLOR0) {
    VOut o;
    o.position = mul(p, ColumnMajor);
    o.color = color * Tint * Scale;
    o.a = mul(p, RowMajor);
    o.b = mul(p, ColumnMajor43);
    o.c = mul(p, RowMajor43);
    return o;
}
