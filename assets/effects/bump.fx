// Bump mapping: the mesh's own texture (slot 0) lit per pixel through a bump map (slot 1) whose
// colours are tangent-space normals, by the scene's first light, with a soft highlight.

float4x4 WorldViewProjection : WorldViewProjection;
float4x4 WorldInverse : WorldInverse;
float4 LightPosition : UIPosition; // a directional light stands far back along its direction
float4 EyePosition : EyePosition;

// Both take the mesh's textures when it is drawn: the names only mark them as textures.
texture BaseTexture < string ResourceName = "base.dds"; >;
texture BumpTexture < string ResourceName = "bump.dds"; >;

sampler2D BaseSampler = sampler_state {
    Texture = <BaseTexture>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};
sampler2D BumpSampler = sampler_state {
    Texture = <BumpTexture>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

static const float3 Ambient = float3(0.3, 0.3, 0.3);
static const float Shininess = 24.0;
static const float Gloss = 0.35;

struct BumpVertex {
    float4 position : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
    float3 tangent : TANGENT;
    float3 binormal : BINORMAL;
};

struct BumpPixel {
    float2 uv : TEXCOORD0;
    float3 light : TEXCOORD1;   // towards the light, tangent space
    float3 halfway : TEXCOORD2; // between light and eye, tangent space
};

struct BumpOutput {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 light : TEXCOORD1;   // towards the light, tangent space
    float3 halfway : TEXCOORD2; // between light and eye, tangent space
};

BumpOutput BumpVS(BumpVertex input) {
    BumpOutput output;
    output.position = mul(input.position, WorldViewProjection);
    // Light and eye into object space, then into the vertex's tangent frame.
    float3 toLight = normalize(mul(LightPosition, WorldInverse).xyz - input.position.xyz);
    float3 toEye = normalize(mul(EyePosition, WorldInverse).xyz - input.position.xyz);
    float3x3 toTangent = float3x3(input.tangent, input.binormal, input.normal);
    output.uv = input.uv;
    output.light = mul(toTangent, toLight);
    output.halfway = mul(toTangent, normalize(toLight + toEye));
    return output;
}

float4 BumpPS(BumpPixel input) : COLOR {
    float4 base = tex2D(BaseSampler, input.uv);
    float3 normal = normalize(tex2D(BumpSampler, input.uv).rgb * 2.0 - 1.0);
    float diffuse = saturate(dot(normal, normalize(input.light)));
    float highlight = pow(saturate(dot(normal, normalize(input.halfway))), Shininess);
    float3 colour = base.rgb * (Ambient + diffuse) + Gloss * highlight * diffuse;
    return float4(colour, base.a);
}

technique Bump {
    pass P0 {
        VertexShader = compile vs_1_1 BumpVS();
        PixelShader = compile ps_2_0 BumpPS();
    }
}
