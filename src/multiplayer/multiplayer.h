// Multiplayer module: DirectPlay sessions (providers, hosting, joining, players, session events)
// and typed net messages (integers, floats, texts, memory blocks, images, bitmaps, sounds, meshes).
// Nothing is set up at start: the first command that needs the network creates it. Messages are
// fetched only when a command asks for them.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void MultiplayerConstructor();
// Stop entry: leaves any session and releases everything the module holds.
void MultiplayerDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MultiplayerSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData and takes the memory-block and media functions it uses.
void MultiplayerPassCoreDataExport(CoreData* core);
// Nothing: the module holds no device objects.
void MultiplayerRefreshD3D(std::int32_t mode);

// Errors: 8507 maximum players outside 2..255, 8508 player name empty (or missing, for joins),
// 8509 game name empty, 8510 provider number outside 1..64, 8511 session number outside 1..256,
// 8512 player number outside 1..255 (0..255 for the send commands, where 0 is every player).
// Network failures are warnings, which leave no trace: the results and the queries tell.

// The checklist gets the names of the service providers that can be initialised.
void ListNetConnections();
// Provider number from ListNetConnections; the address is a host name or IP address for TCP/IP,
// a telephone number for a modem, a port for a serial link, and ignored for IPX.
void SelectNetConnection(std::int32_t provider);
void SelectNetConnection(std::int32_t provider, const char* address);
// The checklist gets the sessions found, as "name (players/maximum)", values 1 and 2 the counts.
void ListNetSessions();
// Hosts a session. Type 1 is peer-to-peer with host migration (the three-argument form), type 2
// client/server.
void CreateNetGame(const char* gameName, const char* playerName, std::int32_t maximumPlayers);
void CreateNetGame(const char* gameName, const char* playerName, std::int32_t maximumPlayers,
                   std::int32_t sessionType);
// Joins session n of ListNetSessions. When the network was not set up yet, the first session
// found is joined whatever n says.
void JoinNetGame(std::int32_t session, const char* playerName);
// Joins the first session found, or hosts one when none can be joined; the local player's number
// (0 when neither worked).
std::int32_t ConnectNetGame(const char* gameName, const char* playerName,
                            std::int32_t maximumPlayers, std::int32_t sessionType);
// Leaves the session and releases every DirectPlay object; received messages stay queued.
void FreeNetGame();
// A further local player; its number, 0 when it was not created.
std::int32_t CreateNetPlayer(const char* playerName);
// The server player (identifier 1) is never destroyed.
void FreeNetPlayer(std::int32_t player);
// The checklist gets the session's named players: value 1 the player number, 2 the DirectPlay
// identifier, 3 whether local, 4 whether the server player. Numbers of players gone are freed.
void ListNetPlayers();
// 1 while hosting or joined.
std::int32_t NetGameExists();
// Each query below reads pending messages first, then reports and clears its event.
std::int32_t NetGameLost();
// The number of the player who last joined or left; 0 for none. An unread one is not replaced by
// the next before the game has had a frame to ask (two GetNetMessage calls or 16 receives).
std::int32_t NetPlayerCreated();
std::int32_t NetPlayerDestroyed();
// 1 once this program became the session's host.
std::int32_t NetGameNowHosting();

// Send commands: player 0 sends to every player. The guaranteed forms send with guaranteed
// delivery when the flag is 1. Media are sent through memory block 257, which is left in place.
void SendNetMessageInteger(std::int32_t player, std::int32_t value);
void SendNetMessageFloat(std::int32_t player, float value);
void SendNetMessageString(std::int32_t player, const char* text);
// Blocks 1 to 255 (5101), which must exist (5103).
void SendNetMessageMemblock(std::int32_t player, std::int32_t block);
void SendNetMessageMemblock(std::int32_t player, std::int32_t block, std::int32_t guaranteed);
// Images 1..22,000,000 (501, 502 missing).
void SendNetMessageImage(std::int32_t player, std::int32_t image, std::int32_t guaranteed);
// Bitmaps 0..21,999,999 (1001, 1002 missing); bitmap 0 is the screen.
void SendNetMessageBitmap(std::int32_t player, std::int32_t bitmap, std::int32_t guaranteed);
// Sounds 1..21,999,999 (3001, 3004 missing).
void SendNetMessageSound(std::int32_t player, std::int32_t sound, std::int32_t guaranteed);
// Meshes 1..21,999,999 (7001, 7003 missing).
void SendNetMessageMesh(std::int32_t player, std::int32_t mesh, std::int32_t guaranteed);

// Makes the oldest received message the current one; with none, the type becomes 0.
void GetNetMessage();
// 1 while a current message is held in a session.
std::int32_t NetMessageExists();
// 0 none, 1 integer, 2 float, 3 text, 4 memory block, 5 image, 6 bitmap, 7 sound, 8 mesh.
std::int32_t NetMessageType();
// Player numbers of the sender and the addressee (0 for a message to every player).
std::int32_t NetMessagePlayerFrom();
std::int32_t NetMessagePlayerTo();
// The value of an integer or float message; 0 for other types.
std::int32_t NetMessageInteger();
float NetMessageFloat();
// A new engine string with the text of a text message (at most 255 characters), which can be
// read once; an empty string otherwise. The previous string, when given, is released.
char* NetMessageString(char* oldString = nullptr);
// Rebuilds block n (1..255, 5101; 5104 when it cannot be made) from a memory-block message.
void NetMessageMemblock(std::int32_t block);
// Rebuild the item from a message of its own type; any other message does nothing. The same
// message can rebuild several items. 7000 (3000 for sounds) when block 257 cannot be made.
void NetMessageImage(std::int32_t image);
void NetMessageBitmap(std::int32_t bitmap);
void NetMessageSound(std::int32_t sound);
void NetMessageMesh(std::int32_t mesh);
