// Cartoon shading: the light's angle picks a band of the shade ramp (slot 0), the angle to the
// eye a band of the edge ramp (slot 1), which darkens the outline; both tint the vertex colour.
// Ramps read left to right: the first column for faces turned away, the last for faces head-on.

float4x4 WorldViewProjection : WorldViewProjection;
float4x4 WorldInverse : WorldInverse;
float4 LightPosition : UIPosition;
float4 EyePosition : EyePosition;

texture ShadeTexture < string ResourceName = "shade.bmp"; >;
texture EdgeTexture < string ResourceName = "edge.bmp"; >;

// Point sampling keeps the bands hard.
sampler2D ShadeSampler = sampler_state {
    Texture = <ShadeTexture>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};
sampler2D EdgeSampler = sampler_state {
    Texture = <EdgeTexture>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct CartoonVertex {
    float4 position : POSITION;
    float3 normal : NORMAL;
    float4 colour : COLOR0;
};

struct CartoonPixel {
    float4 colour : COLOR0;
    float2 shade : TEXCOORD0;
    float2 edge : TEXCOORD1;
};

struct CartoonOutput {
    float4 position : POSITION;
    float4 colour : COLOR0;
    float2 shade : TEXCOORD0;
    float2 edge : TEXCOORD1;
};

CartoonOutput CartoonVS(CartoonVertex input) {
    CartoonOutput output;
    output.position = mul(input.position, WorldViewProjection);
    float3 normal = normalize(input.normal);
    float3 toLight = normalize(mul(LightPosition, WorldInverse).xyz - input.position.xyz);
    float3 toEye = normalize(mul(EyePosition, WorldInverse).xyz - input.position.xyz);
    output.colour = input.colour;
    output.shade = float2(saturate(dot(normal, toLight)), 0.5);
    output.edge = float2(saturate(dot(normal, toEye)), 0.5);
    return output;
}

float4 CartoonPS(CartoonPixel input) : COLOR {
    return tex2D(ShadeSampler, input.shade) * tex2D(EdgeSampler, input.edge) * input.colour;
}

technique Cartoon {
    pass P0 {
        VertexShader = compile vs_1_1 CartoonVS();
        PixelShader = compile ps_2_0 CartoonPS();
    }
}
