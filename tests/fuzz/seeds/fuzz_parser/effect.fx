float4x4 wvp : WORLDVIEWPROJECTION;
texture tex < string name = "fire.png"; >;
sampler s = sampler_state { Texture = <tex>; MinFilter = Linear; AddressU = Clamp; };
struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VS_OUT vs(float4 p : POSITION, float2 uv : TEXCOORD0) {
    VS_OUT o = (VS_OUT)0;
    o.pos = mul(p, wvp);
    o.uv = uv;
    return o;
}
float4 ps(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv) * float4(1, 0.5, 0.25, 1); }
technique T { pass P0 { VertexShader = compile vs_2_0 vs(); PixelShader = compile ps_2_0 ps(); ColorWriteEnable = RED|GREEN; } }
