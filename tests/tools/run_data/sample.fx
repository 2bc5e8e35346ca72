// A texture lookup modulated by the colour input and a uniform.
sampler2D Image;
float4 Gain;

float4 main(float2 uv : TEXCOORD0, float4 color : COLOR0) : COLOR0 {
    return tex2D(Image, uv) * color + Gain;
}
