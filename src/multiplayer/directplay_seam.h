// Where the multiplayer module gets its DirectPlay and lobby objects. By default from the
// platform (COM's DirectPlay class and DirectPlayLobbyCreateA); tests hand in objects of their own.
#pragma once

#include "core/win32.h"

#include <dplay.h>
#include <dplobby.h>

struct DirectPlayCreators {
    // A new IDirectPlay4A in the given COM class context (CLSCTX_ALL or CLSCTX_INPROC_SERVER).
    HRESULT (*createDirectPlay)(DWORD classContext, IDirectPlay4A** out) = nullptr;
    // A new lobby object; the module asks it for IDirectPlayLobby2A.
    HRESULT (*createLobby)(IDirectPlayLobbyA** out) = nullptr;
};

// Replaces the creators; a null member restores the platform's own. Objects already made stay.
void SetDirectPlayCreators(const DirectPlayCreators& creators);
