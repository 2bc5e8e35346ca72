typedef float3 color3;
typedef const float4 cf4[2];
struct S { color3 c; float2x2 m; };
vector<float, 3> v3;
matrix<half, 2, 3> h23;
row_major float4x4 rm;
extern uniform float4 u : register(vs, c4);
float g(float x);
float g(float y) { return y; }
vs_2_0 float k() { return 1; }
float k() { return 2; }
PixelShader ps = asm { ps_1_1
 tex t0
 mov r0, t0 };
