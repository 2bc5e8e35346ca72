// A textured quad given in clip space, tinted by a colour constant.
float4 tint : register(c0);
sampler2D image : register(s0);

struct VS_OUTPUT
{
    float4 position : POSITION;
    float2 uv       : TEXCOORD0;
};

VS_OUTPUT vs_main(float3 position : POSITION, float2 uv : TEXCOORD0)
{
    VS_OUTPUT output;
    output.position = float4(position, 1.0);
    output.uv = uv;
    return output;
}

float4 ps_main(float2 uv : TEXCOORD0) : COLOR
{
    return tex2D(image, uv) * tint;
}
