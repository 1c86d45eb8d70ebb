// The engine's run-time error and warning numbers, each named once, grouped by the family of
// modules that raises it. RaiseRuntimeError stores a number in the error cell; RaiseRuntimeWarning
// takes one and keeps nothing, so a warning's name only says in the code what failed.
#pragma once

#include <cstdint>

// Runtime arrays and array files.
constexpr std::int32_t kArrayIndexOutOfRange = 52;
constexpr std::int32_t kArrayEmpty = 53; // no elements, or elements of no size
// An element type the command cannot take: an array file's unknown type code, or a text array
// given to a memory block.
constexpr std::int32_t kArrayTypeIllegal = 54;
constexpr std::int32_t kArrayNotOneDimensional = 55;
constexpr std::int32_t kArrayFileNotCreated = 104;
constexpr std::int32_t kArrayMissing = 109;

// Text, and the core's other memory: a string the callback gave no buffer for, an array or a core
// buffer that could not be made, or a size no 32-bit process can hold. What was there stays.
// Also out of memory in a command whose module names no error for it (a light, a camera, a
// change to an object's limbs, meshes or shading).
constexpr std::int32_t kStringNoMemory = 101;

// Files: errors and warnings of the file commands and slots.
// Also an array file that cannot be opened or that the array refuses (another type or count, an
// index outside it, cut short, empty), and an effect file that cannot be opened.
constexpr std::int32_t kFileMissing = 105;
// The target file exists (a save, copy, rename or move refuses to replace it), or a copy failed.
constexpr std::int32_t kFileExists = 106;
constexpr std::int32_t kFileInUse = 117;
constexpr std::int32_t kNoFileFound = 8001;
constexpr std::int32_t kFileSearchEnded = 8002;
constexpr std::int32_t kDirectoryNotChanged = 8003;
constexpr std::int32_t kFileNotMade = 8021;
constexpr std::int32_t kFileNotDeleted = 8022;
constexpr std::int32_t kFileNotRenamed = 8024;
constexpr std::int32_t kFileNotMoved = 8025;
constexpr std::int32_t kDirectoryNotMade = 8101;
constexpr std::int32_t kDirectoryNotRemoved = 8102;
constexpr std::int32_t kCannotExecute = 8103;
constexpr std::int32_t kFileSlotNotOpenedToRead = 8201;
constexpr std::int32_t kFileSlotNotOpenedToWrite = 8202;
constexpr std::int32_t kFileSlotOpen = 8203;
constexpr std::int32_t kFileSlotClosed = 8204;
constexpr std::int32_t kFileReadFailed = 8211;
// Also a save whose file could not be written whole (an object, a mesh, a lightmap page, a file's
// byte), the old file kept.
constexpr std::int32_t kFileWriteFailed = 8212;
constexpr std::int32_t kFileSlotIllegal = 8213;

// Commands this build does not offer.
constexpr std::int32_t kCommandNotAvailable = 116;

// Sprites.
constexpr std::int32_t kSpriteNotMade = 300; // an animated sprite that could not be placed
constexpr std::int32_t kSpriteNumberIllegal = 301;
constexpr std::int32_t kSpriteMissing = 302;
constexpr std::int32_t kSpriteBackSaveIllegal = 303;
constexpr std::int32_t kSpriteTransparencyIllegal = 304;
constexpr std::int32_t kSpriteScaleIllegal = 311;
constexpr std::int32_t kSpriteSizeIllegal = 312;
constexpr std::int32_t kSpriteAlphaIllegal = 314;
constexpr std::int32_t kSpriteDiffuseIllegal = 315;
constexpr std::int32_t kSpriteDelayIllegal = 316;
constexpr std::int32_t kSpriteVertexIllegal = 317;
constexpr std::int32_t kSpriteAcrossIllegal = 318; // frames across an animated sprite's picture
constexpr std::int32_t kSpriteDownIllegal = 319;   // frames down
constexpr std::int32_t kSpriteImageIllegal = 320;  // the image an animated sprite loads into
constexpr std::int32_t kSpriteNumberTaken = 321;

// Images. 501 and 502 are also the image checks of the modules that take an image number.
// An image not written: a failed save, or a grab without a render target or an image to fill.
constexpr std::int32_t kImageSaveFailed = 500;
constexpr std::int32_t kImageNumberIllegal = 501;
constexpr std::int32_t kImageMissing = 502;
// A grab's rectangle, or a camera image's side that is not a power of two.
constexpr std::int32_t kImageSizeIllegal = 504;
constexpr std::int32_t kImageLoadFailed = 506;
constexpr std::int32_t kImageUnreadable = 507; // the image exists but its pixels cannot be read

// Bitmaps.
constexpr std::int32_t kBitmapNumberIllegal = 1001;
constexpr std::int32_t kBitmapMissing = 1002;
constexpr std::int32_t kBitmapLoadFailed = 1003;

// The display mode and device.
constexpr std::int32_t kDisplayResolutionIllegal = 1501;
constexpr std::int32_t kDisplayDepthIllegal = 1502;
constexpr std::int32_t kDisplayWindowedFlagIllegal = 1503;
constexpr std::int32_t kDisplayNoMode16 = 1505;
constexpr std::int32_t kDisplayNoMode32 = 1507;
constexpr std::int32_t kDisplayVertexProcessingIllegal = 1508;
constexpr std::int32_t kDisplayLockableFlagIllegal = 1509;
constexpr std::int32_t kDisplayNoInterface = 1510;
constexpr std::int32_t kDisplayDeviceInvalidCall = 1511;
constexpr std::int32_t kDisplayDeviceNotAvailable = 1512;
constexpr std::int32_t kDisplayDeviceNoVideoMemory = 1513;
constexpr std::int32_t kDisplayDepth24 = 1514; // 24-bit depth, refused on its own

// Animations (video).
constexpr std::int32_t kAnimationNumberIllegal = 2001;
constexpr std::int32_t kAnimationNotLoadable = 2002;
constexpr std::int32_t kAnimationMissing = 2004;
constexpr std::int32_t kAnimationCannotStart = 2007;
constexpr std::int32_t kAnimationNoGraph = 2008;

// Sounds.
// The sound module: a play position outside 0..22000000. Multiplayer: the block that a received
// sound is rebuilt through could not be made.
constexpr std::int32_t kSoundPositionIllegal = 3000;
constexpr std::int32_t kSoundNumberIllegal = 3001;
constexpr std::int32_t kSoundNotLoadable = 3002;
constexpr std::int32_t kSoundExists = 3003;
constexpr std::int32_t kSoundMissing = 3004;
constexpr std::int32_t kSoundVolumeIllegal = 3005;
constexpr std::int32_t kSoundFrequencyIllegal = 3006;
constexpr std::int32_t kSoundPanIllegal = 3007;
// Not recorded, its recording file gone, or the copy to the named file failed.
constexpr std::int32_t kSoundNotSaved = 3008;
constexpr std::int32_t kSoundNotCloned = 3021;

// Music.
constexpr std::int32_t kMusicNumberIllegal = 3501;
constexpr std::int32_t kMusicNotLoadable = 3502;
constexpr std::int32_t kMusicExists = 3503;
constexpr std::int32_t kMusicMissing = 3504;
constexpr std::int32_t kMusicSpeedIllegal = 3506;
constexpr std::int32_t kMusicTrackIllegal = 3508; // a CD track number

// Input.
constexpr std::int32_t kNoJoystick = 4001;
constexpr std::int32_t kNoForceFeedback = 4101;
constexpr std::int32_t kForceMagnitudeIllegal = 4102;
constexpr std::int32_t kForceDurationIllegal = 4103;
constexpr std::int32_t kForceAngleIllegal = 4104;

// Memory blocks.
constexpr std::int32_t kMemblockNumberIllegal = 5101;
constexpr std::int32_t kMemblockExists = 5102;
constexpr std::int32_t kMemblockMissing = 5103;
constexpr std::int32_t kMemblockNoMemory = 5104; // the block could not be made
constexpr std::int32_t kMemblockPositionIllegal = 5105;
constexpr std::int32_t kMemblockSizeBelowOne = 5106;
constexpr std::int32_t kMemblockByteIllegal = 5107;
constexpr std::int32_t kMemblockWordIllegal = 5108;

// Objects, limbs and meshes.
// Multiplayer: the block that a received image, bitmap or mesh is rebuilt through was not made.
constexpr std::int32_t kMediaBlockNotMade = 7000;
constexpr std::int32_t kMeshNumberIllegal = 7001;
constexpr std::int32_t kObjectNotMade = 7002;
constexpr std::int32_t kMeshMissing = 7003;
// 7006 and 7008 are also the checks of the positioning commands of terrain matrices and particle
// emitters, for their own items.
constexpr std::int32_t kObjectNumberIllegal = 7006;
constexpr std::int32_t kObjectExists = 7007;
constexpr std::int32_t kObjectMissing = 7008;
// A model file that gives no object, or a new object without frames to set up.
constexpr std::int32_t kObjectNotLoaded = 7018;
constexpr std::int32_t kLimbNumberIllegal = 7021;
constexpr std::int32_t kLimbMissing = 7023; // also a limb without a mesh to copy
constexpr std::int32_t kLimbNotNext = 7026; // a new limb's number is not the next one
constexpr std::int32_t kLimbNotAdded = 7028;
constexpr std::int32_t kMeshTooLarge = 7029;
constexpr std::int32_t kObjectFileNameIllegal = 7030; // a save name without the object extension
constexpr std::int32_t kLimbWithoutMesh = 7032;

// Terrain matrices.
constexpr std::int32_t kTerrainExists = 7009;
constexpr std::int32_t kTerrainNumberIllegal = 7010;
constexpr std::int32_t kTerrainSizeIllegal = 7011;
constexpr std::int32_t kTerrainSegmentsIllegal = 7012;
constexpr std::int32_t kTerrainMissing = 7013;
constexpr std::int32_t kTerrainCreateFailed = 7015;
constexpr std::int32_t kTerrainTileIllegal = 7016;
constexpr std::int32_t kTerrainPointOutside = 7017;

// Particles.
constexpr std::int32_t kParticlesExist = 7101;
constexpr std::int32_t kParticlesMissing = 7102;
constexpr std::int32_t kParticlesNumberIllegal = 7104;
constexpr std::int32_t kParticlesCreateFailed = 7105;

// Worlds.
constexpr std::int32_t kWorldLoadFailed = 7151;
constexpr std::int32_t kWorldBadSlot = 7154;

// Cameras.
constexpr std::int32_t kCameraNumberIllegal = 7201;
constexpr std::int32_t kCameraExists = 7202;
constexpr std::int32_t kCameraMissing = 7203;
// An image target the device cannot make (a side above its largest texture, no memory).
constexpr std::int32_t kCameraTargetNotMade = 7204;
constexpr std::int32_t kCameraZeroFixed = 7205; // camera 0 is neither made nor deleted

// Lights.
constexpr std::int32_t kLightNumberIllegal = 7301;
constexpr std::int32_t kLightExists = 7302;
constexpr std::int32_t kLightMissing = 7303;
constexpr std::int32_t kLightZeroFixed = 7305; // light 0 is neither made nor deleted

// Appending animation to an object.
constexpr std::int32_t kAppendBeyondEnd = 7602; // also an object without animation
constexpr std::int32_t kAppendFailed = 7605;
constexpr std::int32_t kAppendBeforeEnd = 7606;

// Shader slots and effects.
constexpr std::int32_t kShaderSlotIllegal = 7701;
constexpr std::int32_t kShaderElementCountIllegal = 7702;
// A shader, declaration or effect that could not be made, or a mesh that refuses an effect.
constexpr std::int32_t kShaderOrEffectFailed = 7703;
constexpr std::int32_t kShaderElementIllegal = 7704;
constexpr std::int32_t kShaderUsageIllegal = 7705;
constexpr std::int32_t kShaderAssemblyFailed = 7707;
constexpr std::int32_t kShaderNoDeclaration = 7708;
constexpr std::int32_t kEffectNumberIllegal = 7721;
constexpr std::int32_t kEffectMissing = 7722;
constexpr std::int32_t kEffectExists = 7723;

// Values and maths items.
// A value out of range (a level-of-detail slot, a user DLL call's argument count); in the maths
// module and the camera, light, terrain and particle commands that read its vectors, a maths item
// of the wrong kind, missing, or a vector that could not be made.
constexpr std::int32_t kValueOutOfRange = 7801;
// A matrix that a matrix command names is missing, or a new matrix could not be made.
constexpr std::int32_t kMatrixMissing = 7802;

// FTP warnings.
constexpr std::int32_t kFtpConnectFailed = 8301;
constexpr std::int32_t kFtpSetDirFailed = 8302;
constexpr std::int32_t kFtpPutFailed = 8303;
constexpr std::int32_t kFtpDeleteFailed = 8304;
constexpr std::int32_t kFtpGetFailed = 8305;

// Multiplayer: warnings 8501-8505 and 8513-8518, errors 8507-8512.
constexpr std::int32_t kProviderNotSelected = 8501;
constexpr std::int32_t kConnectionNotInitialised = 8502;
constexpr std::int32_t kGameNotCreated = 8504;
constexpr std::int32_t kGameNotJoined = 8505;
constexpr std::int32_t kMaximumPlayersIllegal = 8507;
constexpr std::int32_t kPlayerNameIllegal = 8508;
constexpr std::int32_t kGameNameIllegal = 8509;
constexpr std::int32_t kProviderNumberIllegal = 8510;
constexpr std::int32_t kSessionNumberIllegal = 8511;
constexpr std::int32_t kPlayerNumberIllegal = 8512;
constexpr std::int32_t kNoGame = 8513;
constexpr std::int32_t kPlayerSlotEmpty = 8514;
constexpr std::int32_t kAlreadyInGame = 8515;
constexpr std::int32_t kPlayerNotCreated = 8516;
constexpr std::int32_t kPlayerNotDestroyed = 8517;
constexpr std::int32_t kJoinCannotCreatePlayer = 8518;

// Checklist queries.
constexpr std::int32_t kChecklistRowIllegal = 9001;
constexpr std::int32_t kChecklistRowNotInUse = 9002;
constexpr std::int32_t kChecklistNoStrings = 9003;
constexpr std::int32_t kChecklistNoValues = 9004;
constexpr std::int32_t kNoChecklist = 9005;

// User DLLs; 9701 is a warning.
constexpr std::int32_t kDllNotLoaded = 9701;
constexpr std::int32_t kDllSlotEmpty = 9702;
constexpr std::int32_t kDllSlotInUse = 9703;
constexpr std::int32_t kDllFunctionMissing = 9704;
constexpr std::int32_t kDllSlotIllegal = 9705;
// The object module's tables or object manager could not be built.
constexpr std::int32_t kObjectTablesFailed = 9706;
