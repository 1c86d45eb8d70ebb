#include "core/win32.h"

#include "image/image_bridge.h"
#include "image/image.h"

ImageBridge GetImageBridge() {
    return ImageBridge{GetImagePointer,
                       GetImageWidth,
                       GetImageHeight,
                       GetImageUScale,
                       GetImageVScale,
                       ImageExistChecked,
                       ImageExist,
                       GetImageName,
                       SetImageOffset,
                       GetImageOffset,
                       DeleteImage,
                       CreateManagedImage,
                       CreateImageDefaultFormat,
                       CreateImageWithUsage,
                       CreateRenderTargetImage,
                       LoadImageMode1,
                       LoadImageWithMode,
                       LoadTextureForModule,
                       LoadTextureForModuleWithMode,
                       LockImage,
                       UnlockImage,
                       WriteImageData,
                       GetImageData,
                       SetImageAlpha,
                       SetTextureSmoothing,
                       SetTextureFilterMode,
                       SetMipmapLodBias,
                       SetImageColorKey,
                       SetImageMemoryMode,
                       SetImageLoadOption,
                       SetImageSettingWord,
                       MakeImagePowerOfTwo,
                       MakeMemblockFromImage,
                       MakeImageFromMemblock,
                       ImageConstructor,
                       ImageDestructor,
                       GetImageBaseTexture};
}
