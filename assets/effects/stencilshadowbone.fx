// Stencil shadow volume of a skinned mesh: as stencilshadow.fx, with the volume first skinned by
// up to four bones per vertex (weights in texture coordinate set 1, bone numbers in set 2, as the
// engine writes them). The palette holds each bone's offset matrix times the matrix of the frame
// it follows, set transposed: three rows of four per bone.

float4x4 World : World;
float4x4 ViewProjection : ViewProjection;
float4 LightPosition : UIPosition;
float ShadowRange : MeshRadius;
row_major float3x4 Bones[64] : BoneMatrixPalette;

static const float DefaultRange = 1000.0;
static const float LitPush = 0.2;

struct SkinnedVertex {
    float4 position : POSITION;
    float3 normal : NORMAL;
    float4 weights : TEXCOORD1;
    float4 bones : TEXCOORD2;
};

float4 ShadowVS(SkinnedVertex input) : POSITION {
    // Weight left over (none for a vertex no bone moves) keeps the vertex where it is.
    float rest = 1.0 - dot(input.weights, float4(1, 1, 1, 1));
    float3 position = input.position.xyz * rest;
    float3 normal = input.normal * rest;
    for (int i = 0; i < 4; i++) {
        float3x4 bone = Bones[(int)input.bones[i]];
        position += mul(bone, input.position) * input.weights[i];
        normal += mul((float3x3)bone, input.normal) * input.weights[i];
    }
    float4 world = mul(float4(position, 1.0), World);
    float3 worldNormal = mul(normal, (float3x3)World);
    float3 away = normalize(world.xyz - LightPosition.xyz);
    float range = ShadowRange > 0 ? ShadowRange : DefaultRange;
    float turned = dot(worldNormal, away) > 0 ? 1 : 0;
    world.xyz += away * lerp(LitPush, range, turned);
    return mul(world, ViewProjection);
}

technique StencilShadowBone {
    pass Front {
        VertexShader = compile vs_2_0 ShadowVS();
        PixelShader = NULL;
        ColorWriteEnable = 0;
        ZWriteEnable = false;
        FogEnable = false;
        StencilEnable = true;
        StencilFunc = Always;
        StencilFail = Keep;
        StencilPass = Keep;
        StencilZFail = Incr;
        CullMode = CCW;
    }
    pass Back {
        VertexShader = compile vs_2_0 ShadowVS();
        PixelShader = NULL;
        ColorWriteEnable = 0;
        ZWriteEnable = false;
        FogEnable = false;
        StencilEnable = true;
        StencilFunc = Always;
        StencilFail = Keep;
        StencilPass = Keep;
        StencilZFail = Decr;
        CullMode = CW;
    }
}
