// The one way into the platform headers. The command set reuses names that <windows.h> defines as
// macros, so those macros are removed here; engine code calls the platform by its explicit A/W
// name instead (LoadImageA, PlaySoundA, ...).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <dinput.h>
#include <dsound.h>

#undef LoadImage
#undef PlaySound
#undef DeleteFile
#undef CopyFile
#undef MoveFile
#undef CreateDirectory
#undef RemoveDirectory
#undef DrawText
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef FindFirstFile
#undef FindNextFile
#undef CreateFile
#undef OpenFile
#undef GetFileSize
#undef SetWindowText
#undef GetWindowText
#undef CreateWindow
#undef CreateFont
#undef TextOut
#undef LoadCursor
#undef LoadIcon
#undef LoadBitmap
#undef CopyImage
#undef GetObject
#undef GetTempPath
#undef GetFileAttributes
#undef CreateMutex
#undef CreateEvent
#undef Yield
#undef GetMessage
#undef SendMessage
#undef PostMessage
#undef DispatchMessage
#undef PeekMessage
#undef MessageBox
#undef GetUserName
#undef GetComputerName
#undef ExitWindows
#undef UpdateResource
#undef GetCommandLine
#undef FindResource
#undef LoadLibrary
#undef GetModuleFileName
#undef RegisterClass
