// The parts of a 3DS scene that are read for their traces only (lights, cameras, viewports) and
// the colour and percentage chunks that materials share with them.
#include "core/win32.h"

#include "modelfile/conv_3ds_internal.h"

namespace Conv3DS {

namespace {

constexpr float kByteColour = 0.003921569f; // 1 / 255
constexpr std::uint32_t kLayoutsRead = 4;
const char* const kViewNames[] = {"Bogus", "Top",  "Bottom", "Left",  "Right",   "Front",
                                  "Back",  "User", "Camera", "Light", "Disabled"};

void ReadSpotlight(Cursor body) {
    float spot[5];
    body.Floats(spot, 5);
    Trace("      The target of the spot is at: X:%5.2f Y:%5.2f Y:%5.2f\n", spot[0], spot[1],
          spot[2]);
    Trace("      The hotspot of this light is : %5.2f\n", spot[3]);
    Trace("      The falloff of this light is : %5.2f\n", spot[4]);
}

void ReadLayout(Conversion& c, Cursor body) {
    const std::uint16_t first = body.Word();
    for (int i = 0; i < 5; ++i)
        body.Word();
    const std::uint16_t view = body.Word();
    if (first == 3) Trace("<Snap> active in viewport\n");
    if (first == 5) Trace("<Grid> active in viewport\n");
    const char* label = view < 11 ? kViewNames[view] : "Unknown";
    if (view == 0 || view == 0xFFFF) {
        std::string camera = body.Name(kLongName);
        if (camera.empty()) Trace(">>>>* No Camera name found\n");
        label = "Camera";
    }
    Trace("Reading [%s] information with id:%d\n", label, view);
    ++c.layoutsRead;
}

} // namespace

bool ReadColour(Conversion& c, Chunk chunk, const char* prefix) {
    if (chunk.id == 0x0010) {
        Trace("%sFound Color def (RGB) chunk id of %0X\n", prefix, chunk.id);
        chunk.body.Floats(c.colour, 3);
        Trace("     Found Color (RGB) def of: R:%5.2f,G:%5.2f,B:%5.2f\n", c.colour[0], c.colour[1],
              c.colour[2]);
        return true;
    }
    if (chunk.id != 0x0011) return false;
    Trace("%sFound Color def (24bit) chunk id of %0X\n", prefix, chunk.id);
    int rgb[3];
    for (int i = 0; i < 3; ++i) {
        rgb[i] = chunk.body.Byte();
        c.colour[i] = rgb[i] * kByteColour;
    }
    Trace("     Found Color (24bit) def of: R:%d,G:%d,B:%d\n", rgb[0], rgb[1], rgb[2]);
    return true;
}

bool ReadColourHolder(Conversion& c, Cursor body, const char* prefix) {
    bool found = false;
    for (Chunk chunk; NextChunk(body, chunk);)
        found |= ReadColour(c, chunk, prefix);
    return found;
}

bool ReadPercentage(Conversion& c, Chunk chunk) {
    if (chunk.id == 0x0030)
        c.percentage = static_cast<std::int16_t>(chunk.body.Word());
    else if (chunk.id == 0x0031)
        c.percentage = chunk.body.Float();
    else
        return false;
    return true;
}

void ReadPercentageHolder(Conversion& c, Cursor body) {
    for (Chunk chunk; NextChunk(body, chunk);)
        ReadPercentage(c, chunk);
}

void ReadLight(Conversion& c, Cursor body) {
    float at[3];
    body.Floats(at, 3);
    Trace("     Found light at coordinates: X: %5.2f, Y: %5.2f,Z: %5.2f\n", at[0], at[1], at[2]);
    for (Chunk chunk; NextChunk(body, chunk);) {
        if (ReadColour(c, chunk, ">>>>> ")) continue;
        if (chunk.id == 0x4610) {
            Trace(">>>>> Light is SpotLight: %0X\n", chunk.id);
            ReadSpotlight(chunk.body);
        } else if (chunk.id == 0x4620) {
            Trace(">>>>> Light is (on/off) chunk: %0X\n", chunk.id);
            Trace(chunk.body.Byte() == 1 ? "      Light is on\n" : "      Light is off\n");
        } else if (chunk.id == 0x465A) {
            Trace(">>>>> Found Light unknown chunk id of %0X\n", chunk.id);
        }
    }
}

void ReadCamera(Cursor body) {
    float camera[8];
    const bool plain = body.Left() == 32;
    body.Floats(camera, 8);
    Trace("     Found Camera viewpoint at coordinates: X: %5.2f, Y: %5.2f,Z: %5.2f\n", camera[0],
          camera[1], camera[2]);
    Trace("     Found Camera focus coors at coordinates: X: %5.2f, Y: %5.2f,Z: %5.2f\n", camera[3],
          camera[4], camera[5]);
    Trace("     Rotation of camera is:  %5.4f\n", camera[6]);
    Trace("     Lens in used camera is: %5.4fmm\n", camera[7]);
    if (plain) return;
    Trace("     **** found extra cam chunks ****\n");
    for (Chunk chunk; NextChunk(body, chunk);) {
        if (chunk.id == 0x4710)
            Trace("     **** Found cam 1 type ch ****\n");
        else if (chunk.id == 0x4720)
            Trace("     **** Found cam 2 type ch ****\n");
    }
}

void ReadViewport(Conversion& c, Cursor body) {
    for (Chunk chunk; c.layoutsRead < kLayoutsRead && NextChunk(body, chunk);) {
        if (chunk.id == 0x7011) {
            Trace(">>>> Found Viewport chunk id of %0X\n", chunk.id);
        } else if (chunk.id == 0x7012 || chunk.id == 0x7020) {
            Trace(chunk.id == 0x7012 ? ">>>> Found Viewport1 chunk id of %0X\n"
                                     : ">>>> Found Viewport2 (bogus) chunk id of %0X\n",
                  chunk.id);
            ReadLayout(c, chunk.body);
        }
    }
}

} // namespace Conv3DS
