// Discards pixels with a negative x, writes two colours and the depth.
struct Output {
    float4 color : COLOR0;
    float4 twice : COLOR1;
    float depth : DEPTH;
};

Output main(float4 t : TEXCOORD0) {
    clip(t.x);
    Output o;
    o.color = t;
    o.twice = t * 2;
    o.depth = t.y;
    return o;
}
