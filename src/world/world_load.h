// The world module's load road: the steps of LoadWorld, none of them a command. Each runs inside
// the load that LoadWorld guards, which turns whatever fails in them (running out of memory among
// it) into its error.
#pragma once

#include <cstdint>

// LoadWorldWithinBudget runs LoadWorldByName as one load (core/load_budget.h),
// whose budget each archive it reads raises: true when the world loaded within it; otherwise the
// archives this load opened or listed are let go again (the level itself is the caller's to free).
bool LoadWorldWithinBudget(const char* archivePath, const char* levelName);
// LoadWorldByName is LoadWorld's body after its checks: the media redirect and
// hooks around LoadWorldTwice; true when a world was loaded.
bool LoadWorldByName(const char* archivePath, const char* levelName);
// At most two attempts: as given, then with no archive and the archive's folder before the level
// name. Each runs LoadBSP, then offers the kind-2 and kind-1 providers; sets the world kind.
bool LoadWorldTwice(const char* archivePath, const char* levelName);
// 1 when the level file was read out of the archive (which must end in ".pk3") and parsed,
// with the shaders of every archive beside it read; else 0.
int LoadBSP(const char* archivePath, const char* levelName);
// Every archive in the archive's folder and below joins the world's archives, and their shader
// scripts are read, in the order found.
void LoadArchivesBeside(const char* archivePath);
