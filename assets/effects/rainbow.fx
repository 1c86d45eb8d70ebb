// Rainbow shading: a colour strip (slots 0 and 1 hold the same image) read by the angle between
// the surface and the eye, so that colours run across curved surfaces and drift with time, under
// the scene's first light, with a glint from the strip where the light reflects into the eye.

float4x4 WorldViewProjection : WorldViewProjection;
float4x4 WorldInverse : WorldInverse;
float4 LightPosition : UIPosition;
float4 EyePosition : EyePosition;
float Time : Time;

texture HueTexture < string ResourceName = "rainbow.bmp"; >;
texture GlintTexture < string ResourceName = "rainbow.bmp"; >;

sampler2D HueSampler = sampler_state {
    Texture = <HueTexture>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Clamp;
};
sampler2D GlintSampler = sampler_state {
    Texture = <GlintTexture>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Clamp;
    AddressV = Clamp;
};

static const float Ambient = 0.35;
static const float Drift = 0.05; // strip widths per second

struct RainbowVertex {
    float4 position : POSITION;
    float3 normal : NORMAL;
};

struct RainbowPixel {
    float2 hue : TEXCOORD0;
    float2 glint : TEXCOORD1;
    float light : TEXCOORD2;
};

struct RainbowOutput {
    float4 position : POSITION;
    float2 hue : TEXCOORD0;
    float2 glint : TEXCOORD1;
    float light : TEXCOORD2;
};

RainbowOutput RainbowVS(RainbowVertex input) {
    RainbowOutput output;
    output.position = mul(input.position, WorldViewProjection);
    float3 normal = normalize(input.normal);
    float3 toLight = normalize(mul(LightPosition, WorldInverse).xyz - input.position.xyz);
    float3 toEye = normalize(mul(EyePosition, WorldInverse).xyz - input.position.xyz);
    float facing = saturate(dot(normal, toEye));
    float3 reflected = 2.0 * dot(normal, toLight) * normal - toLight;
    output.hue = float2(1.0 - facing + frac(Time * Drift), 0.5);
    output.glint = float2(saturate(dot(reflected, toEye)), 0.5);
    output.light = Ambient + saturate(dot(normal, toLight));
    return output;
}

float4 RainbowPS(RainbowPixel input) : COLOR {
    float4 hue = tex2D(HueSampler, input.hue);
    float4 glint = tex2D(GlintSampler, input.glint);
    float shine = pow(input.glint.x, 8.0);
    return float4(hue.rgb * input.light + glint.rgb * shine, hue.a);
}

technique Rainbow {
    pass P0 {
        VertexShader = compile vs_1_1 RainbowVS();
        PixelShader = compile ps_2_0 RainbowPS();
    }
}
