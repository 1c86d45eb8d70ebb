// Stencil shadow volume, pushed away from the light on the graphics card. Every face of the
// volume has its own vertices carrying its normal: the faces turned away from the light are moved
// away from it by the shadow's range, and the walls of no area along the edges between them and
// the lit faces stretch into the sides of the volume. Nothing is drawn to the screen: the two
// passes count, in the stencil buffer, the volume's faces that lie behind what is already drawn.

float4x4 World : World;
float4x4 ViewProjection : ViewProjection;
float4 LightPosition : UIPosition; // world space; a directional light stands far back
float ShadowRange : MeshRadius;    // 0 or less: DefaultRange

static const float DefaultRange = 1000.0;
static const float LitPush = 0.2; // the lit side moves off the caster's own surface

float4 ShadowVS(float4 position : POSITION, float3 normal : NORMAL) : POSITION {
    float4 world = mul(position, World);
    float3 worldNormal = mul(normal, (float3x3)World);
    float3 away = normalize(world.xyz - LightPosition.xyz);
    float range = ShadowRange > 0 ? ShadowRange : DefaultRange;
    float turned = dot(worldNormal, away) > 0 ? 1 : 0;
    world.xyz += away * lerp(LitPush, range, turned);
    return mul(world, ViewProjection);
}

technique StencilShadow {
    pass Front {
        VertexShader = compile vs_1_1 ShadowVS();
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
        VertexShader = compile vs_1_1 ShadowVS();
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
