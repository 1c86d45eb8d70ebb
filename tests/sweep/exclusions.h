// The sweep's tables, read by make_command_table.py (the first two) and by the sweep. Every entry
// says why.
//
// SWEEP_EXCLUDE: commands the sweep never calls.
// SWEEP_KNOWN: commands with a fault that another change mends: what fails is printed, not failed.
// SWEEP_KNOWN_PAIRS, SWEEP_KNOWN_MEMORY: the same, in the pass of pairs of sizes and in the
// allocation-failure pass.
// SWEEP_KNOWN_MEMORY_ENDS: commands that a refused allocation makes end the process (a page
// fault, an exception through a frame that cannot pass it): left out of the allocation pass until
// mended.
// SWEEP_QUIET: commands that may leave a missing item without an error.
// SWEEP_TOUCHES: commands that may change items they do not name.
// SWEEP_SLOW: commands that may take longer than 0.5 s of their thread, whatever their arguments
// (the 20 s bound of a hang still holds).
// SWEEP_DROPS_OLD: commands that, as documented, may let the old item they name go when the new
// one cannot be made, with their error.
// SWEEP_ALONE: commands whose sweep takes seconds in a pass: each is a case of its own in every
// pass, so that no case of a header's other commands waits on it (the rest go in cases of at most
// kRowsPerCase commands).
// SWEEP_SHARES: commands listed alone whose allocation failures are split among this many cases
// of that pass, each refusing every n-th of the allocations ("display_Setup_1", "display_Setup_2").
#ifndef SWEEP_EXCLUDE
#define SWEEP_EXCLUDE(name, reason)
#endif
#ifndef SWEEP_KNOWN
#define SWEEP_KNOWN(name, reason)
#endif
#ifndef SWEEP_KNOWN_PAIRS
#define SWEEP_KNOWN_PAIRS(name, reason)
#endif
#ifndef SWEEP_KNOWN_MEMORY
#define SWEEP_KNOWN_MEMORY(name, reason)
#endif
#ifndef SWEEP_KNOWN_MEMORY_ENDS
#define SWEEP_KNOWN_MEMORY_ENDS(name, reason)
#endif
#ifndef SWEEP_QUIET
#define SWEEP_QUIET(name, reason)
#endif
#ifndef SWEEP_SLOW
#define SWEEP_SLOW(name, reason)
#endif
#ifndef SWEEP_TOUCHES
#define SWEEP_TOUCHES(name, reason)
#endif
#ifndef SWEEP_DROPS_OLD
#define SWEEP_DROPS_OLD(name, reason)
#endif
#ifndef SWEEP_ALONE
#define SWEEP_ALONE(name, reason)
#endif
#ifndef SWEEP_SHARES
#define SWEEP_SHARES(name, shares, reason)
#endif

SWEEP_EXCLUDE(ExecuteFile, "starts the program it names")
SWEEP_EXCLUDE(ExecuteFileAndWait, "starts the program it names and waits for its end")
SWEEP_EXCLUDE(ExecuteProgram, "starts the program it names")
SWEEP_EXCLUDE(AppendString, "writes into the caller's buffer of the size it is told")
SWEEP_EXCLUDE(FTPConnect, "needs an FTP server")
SWEEP_EXCLUDE(CreateNetGame, "needs a DirectPlay session, which Wine cannot host")
SWEEP_EXCLUDE(JoinNetGame, "needs a DirectPlay session, which Wine cannot join")
SWEEP_EXCLUDE(ConnectNetGame, "needs a DirectPlay session, which Wine cannot host")
SWEEP_EXCLUDE(WaitMillisecondsExport, "waits as long as asked, by design")
SWEEP_EXCLUDE(WaitMillisecondsExport2, "waits as long as asked, by design")
SWEEP_EXCLUDE(CoreMessageBox, "opens a modal dialog")
SWEEP_EXCLUDE(ShowFunctionMidProgramError, "opens a modal dialog")
SWEEP_EXCLUDE(InputStringLineExport, "waits for a line typed at the window")
SWEEP_EXCLUDE(WaitKeyExport, "waits for a key")
SWEEP_EXCLUDE(WaitKeyExport2, "waits for a key")
SWEEP_EXCLUDE(WaitMouseExport, "waits for a mouse click")
SWEEP_EXCLUDE(WaitMouseExport2, "waits for a mouse click")

SWEEP_TOUCHES(SetDisplayMode, "a new mode deletes every item of the old device")
SWEEP_DROPS_OLD(LoadMesh, "the old mesh goes before the file is loaded")
SWEEP_TOUCHES(DeleteObjectsCmd, "deletes every object of a range of numbers")

// Operations other modules call through their kept pointers, after their own checks: a missing
// image answers -1, 1.0, null or nothing, as their table says.
SWEEP_QUIET(GetImageWidth, "an operation for other modules: -1 for a missing image")
SWEEP_QUIET(GetImageHeight, "an operation for other modules: -1 for a missing image")
SWEEP_QUIET(GetImageUScale, "an operation for other modules: 1.0 for a missing image")
SWEEP_QUIET(GetImageVScale, "an operation for other modules: 1.0 for a missing image")
SWEEP_QUIET(ImageExistChecked, "an existence query: false for a missing image")
SWEEP_QUIET(GetImageName, "an operation for other modules: null for a missing image")
SWEEP_QUIET(SetImageOffset, "an operation for other modules: nothing for a missing image")
SWEEP_QUIET(GetImageOffset, "an operation for other modules: nothing for a missing image")
SWEEP_QUIET(LockImage, "an operation for other modules, which check the image first")
SWEEP_QUIET(UnlockImage, "an operation for other modules, which check the image first")
SWEEP_QUIET(WriteImageData, "an operation for other modules, which check the image first")
SWEEP_QUIET(GetImageData, "an operation for other modules, which check the image first")
SWEEP_QUIET(SetImageAlpha, "an operation for the sprite module, which checks the image first")
SWEEP_QUIET(MakeImagePowerOfTwo, "an operation for the terrain module, which checks first")
SWEEP_QUIET(MakeImageFromMemblock, "an operation for the memory-block module, which checks first")
SWEEP_QUIET(MakeBitmapFromMemblock, "an operation for the memory-block module, which checks first")
SWEEP_QUIET(SpritePasteImage, "an operation for the image module's paste: nothing for no texture")
SWEEP_QUIET(MarkRootMeshChanged, "an operation for the universe module, which checks first")
// Documented as no error for a missing item or an out-of-range number.
SWEEP_QUIET(DeleteVector2, "always true; a missing id is no error")
SWEEP_QUIET(DeleteVector3, "always true; a missing id is no error")
SWEEP_QUIET(DeleteVector4, "always true; a missing id is no error")
SWEEP_QUIET(DeleteMatrix, "always true; a missing id is no error")
SWEEP_QUIET(DeleteObjectCmd, "a missing object is no error")
SWEEP_QUIET(ExcludeObjectOn, "a missing object is no error")
SWEEP_QUIET(ExcludeObjectOff, "a missing object is no error")
SWEEP_QUIET(AddLimb, "a negative limb, or the next one, appends without an error")
SWEEP_QUIET(ShowLimbBounds, "shows the object's bounds, and the limb's when it is below the count")
SWEEP_QUIET(SetShadowPosition, "light -1 places the shadow light at the point; others any light")
SWEEP_QUIET(SetWorldCamera, "stores the number; no error")
SWEEP_QUIET(SetUniverseDecalImage, "no errors: a missing image draws no decal")
SWEEP_QUIET(SetUniverseDecalImageExport, "no errors: a missing image draws no decal")
SWEEP_QUIET(SetUniverseLight, "no errors: the light number is a slot of the world's own")
SWEEP_QUIET(SetUniverseLightExport, "no errors: the light number is a slot of the world's own")
SWEEP_QUIET(SpritesOverlap, "a query: 0 when either sprite is missing")
SWEEP_QUIET(FindSpriteCollision, "a query: 0 when the sprites are missing or apart")
SWEEP_QUIET(SpriteHit, "a query: 0 for other numbers, any sprite for 0")
SWEEP_QUIET(SpriteCollision, "a query: 0 for other numbers, any sprite for 0")
// A texture of a missing image is no texture: the mesh, sprite or emitter draws without one.
SWEEP_QUIET(TextureObject, "a missing image textures with none")
SWEEP_QUIET(TextureObjectStage, "a missing image textures with none")
SWEEP_QUIET(TextureLimb, "a missing image textures with none")
SWEEP_QUIET(TextureLimbStage, "a missing image textures with none")
SWEEP_QUIET(SetDetailMappingOn, "a missing image textures with none")
SWEEP_QUIET(SetSphereMappingOn, "a missing image textures with none")
SWEEP_QUIET(SetAdditiveMappingOn, "a missing image textures with none")
SWEEP_QUIET(SetLightMappingOn, "a missing image textures with none")
SWEEP_QUIET(SetBlendMappingOn, "a missing image textures with none")
SWEEP_QUIET(SetCubeMappingOn, "a missing image makes a cube face of none")
SWEEP_QUIET(SetBumpMappingOn, "a missing image textures with none")
SWEEP_QUIET(SetCartoonShadingOn, "a missing image textures with none")
SWEEP_QUIET(SetRainbowShadingOn, "a missing image textures with none")
SWEEP_QUIET(MakePointParticlesEx, "a missing image gives the emitter no texture")
SWEEP_QUIET(PlaceSprite, "an image without texture still makes the sprite")
SWEEP_QUIET(SetSpriteTexture, "an image inside 1..22000000 without texture gives none")
// The file slots' checks are warnings, which have no effect.
SWEEP_QUIET(CloseFileSlot, "8213 and 8204 are warnings")
SWEEP_QUIET(OpenToWrite, "an open slot and an existing file are warnings")
SWEEP_QUIET(IsEndOfFile, "8213 is a warning")
SWEEP_QUIET(ReadFileString, "the slot checks are warnings")
SWEEP_QUIET(PackFileIntoSlot, "the slot checks are warnings")
SWEEP_QUIET(PackDirectoryIntoSlot, "the slot checks are warnings")
SWEEP_QUIET(UnpackFileFromSlot, "the slot checks are warnings")
SWEEP_QUIET(UnpackDirectoryFromSlot, "the slot checks are warnings")
SWEEP_QUIET(NetMessageMemblock, "nothing unless the current message holds a block")
SWEEP_QUIET(NetMessageBitmap, "nothing unless the current message holds a bitmap")
SWEEP_QUIET(NetMessageSound, "nothing unless the current message holds a sound")
SWEEP_QUIET(NetMessageMesh, "nothing unless the current message holds a mesh")
SWEEP_QUIET(NetMessageImage, "nothing unless the current message holds an image")
SWEEP_QUIET(PowerInt, "n is an exponent, not a light: every value is a power")
SWEEP_QUIET(SetCameraToImage, "a camera that has a target already keeps it, as documented")
SWEEP_QUIET(AddLightMapLimb, "a number outside the object table adds nothing")
SWEEP_QUIET(ReduceMeshCmd, "a reduction that fails leaves the new slot as it was")

// Known faults, mended in other changes: their calls run, and what fails is printed, not failed.

SWEEP_SLOW(RecordSound, "closes the last recording's device no sooner than 0.5 s after its stop")
SWEEP_QUIET(RecordSound, "the sound is made when the recording stops")
SWEEP_SLOW(NamedWindowToBack,
           "an empty title names the engine's own window, which the X server restacks")
// A device made anew (or reset) and every module rebuilt on it: its work is the display driver's,
// and a loaded machine stretches it past the bound of one call.
SWEEP_SLOW(SetDisplayMode, "makes a device and rebuilds every module")
SWEEP_SLOW(SetDisplayModeEx, "makes a device and rebuilds every module")
SWEEP_SLOW(SetDisplayModeFullScreen, "makes a device and rebuilds every module")
SWEEP_SLOW(SetDisplayModeWindowFlag, "makes a device and rebuilds every module")
SWEEP_SLOW(SetDisplayModeVertexProcessing, "makes a device and rebuilds every module")
SWEEP_SLOW(SetDisplayMode16, "makes a device and rebuilds every module")
SWEEP_SLOW(Setup, "makes a device and rebuilds every module")
SWEEP_SLOW(CreateDisplayDevice, "makes a device and rebuilds every module")
SWEEP_SLOW(SetWindowModeOn, "makes a device and rebuilds every module")
SWEEP_SLOW(SetWindowModeOff, "makes a device and rebuilds every module")
SWEEP_SLOW(ResetDeviceWindowed, "resets the device and rebuilds every module")
SWEEP_EXCLUDE(SetDisplayModeCore,
              "the mode change below the command forms, without the modules' release and rebuild")
SWEEP_TOUCHES(SetDisplayModeEx, "a new mode deletes every item of the old device")
SWEEP_TOUCHES(SetDisplayModeFullScreen, "a new mode deletes every item of the old device")
SWEEP_TOUCHES(SetDisplayModeWindowFlag, "a new mode deletes every item of the old device")
SWEEP_TOUCHES(SetDisplayModeVertexProcessing, "a new mode deletes every item of the old device")
SWEEP_TOUCHES(SetDisplayMode16, "a new mode deletes every item of the old device")
SWEEP_TOUCHES(Setup, "a new device deletes every item of the old one")
SWEEP_TOUCHES(CreateDisplayDevice, "a new device deletes every item of the old one")
SWEEP_TOUCHES(SetWindowModeOn, "a full-screen display becomes a new windowed mode")
SWEEP_TOUCHES(SetWindowModeOff, "a windowed display becomes a new full-screen mode")
SWEEP_TOUCHES(ResetDeviceWindowed, "the reset's modules let go of every item")

// Known faults of the allocation-failure pass, mended in other changes, by module.

// Commands that a refused allocation (or the call itself) makes end the process, by module.

// Each of these took 2.7 s to 10 s in one pass, alone on an unloaded machine (December 2026).
SWEEP_ALONE(SetDisplayMode16,
            "each refused allocation makes a device again and rebuilds every module")
SWEEP_ALONE(SetWindowModeOff,
            "each refused allocation makes a device again and rebuilds every module")
SWEEP_ALONE(Setup, "each refused allocation makes a device again and rebuilds every module")
SWEEP_ALONE(CreateDisplayDevice,
            "each refused allocation makes a device again and rebuilds every module")
SWEEP_ALONE(SelectNetConnection, "a connection's start waits on its provider for seconds")
SWEEP_ALONE(GetDisplayMemoryMB, "each call asks the platform's diagnostics, half a second")
SWEEP_ALONE(RecordSound, "each recording's device closes 0.5 s after its stop")
SWEEP_ALONE(SetParticleColourPercent,
            "21 calls, each a tenth of a second of processor with its frame and checks")
SWEEP_ALONE(SetParticleEmitPosition,
            "27 calls, each a tenth of a second of processor with its frame and checks")
// A mode change during a loaded run of the whole suite takes seconds, as every program starting
// meanwhile sets up a device too: 51 s in one case for the 18 calls of SetDisplayMode16 (9 s
// alone).
SWEEP_SHARES(SetDisplayMode16, 3, "each refused allocation makes a device again")
SWEEP_SHARES(SetWindowModeOff, 2, "each refused allocation makes a device again")
SWEEP_SHARES(Setup, 2, "each refused allocation makes a device again")
SWEEP_SHARES(CreateDisplayDevice, 2, "each refused allocation makes a device again")
