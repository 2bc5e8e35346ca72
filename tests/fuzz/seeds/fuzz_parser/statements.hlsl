#define N 4
static const float w[N] = { 0.1, 0.2, 0.3, 0.4 };
float f(float a, out float b, inout float c, uniform float d = 2) { b = a; c += d; return a; }
float4 main(float2 uv : TEXCOORD0, uniform sampler2D tex) : COLOR {
    float4 sum = 0;
    for (int i = 0; i < N; i++) { sum += tex2D(tex, uv + float2(i, 0)) * w[i]; }
    float b, c = 1;
    if (sum.a > 0.5) sum.rgb = sum.bgr; else sum.xy = sum.yx;
    while (c < 3) c += 1;
    do { c -= 0.5; } while (c > 2);
    float3x3 m = (float3x3)0;
    return sum * f(m._11, b, c) + (c ? 1 : 0) + dot(sum.xyz, m._m00_m11_m22) + lerp(0, 1, saturate(b));
}
