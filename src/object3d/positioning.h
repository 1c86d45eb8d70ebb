// The commands that place, turn and scale numbered objects and read back where they are. Each
// checks the number with ConfirmObjectInstance first and does nothing more when that fails: the
// setters then return false, the getters 0. Every change sets the moved flag and rebuilds the world
// matrix at once, so world values read right after a command are current. Angles in degrees.
#pragma once

#include <cstdint>

bool PositionObject(std::int32_t n, float x, float y, float z);
// Euler setters: each leaves free-flight mode.
bool RotateObject(std::int32_t n, float x, float y, float z);
bool XRotateObject(std::int32_t n, float angle);
bool YRotateObject(std::int32_t n, float angle);
bool ZRotateObject(std::int32_t n, float angle);
// Turns the object to look at the point from its position; its z angle becomes 0.
bool PointObject(std::int32_t n, float x, float y, float z);
// Scale in percent.
bool ScaleObject(std::int32_t n, float x, float y, float z);

// Moves along the object's own axes. Only MoveObject keeps the previous position.
bool MoveObject(std::int32_t n, float distance);
bool MoveObjectLeft(std::int32_t n, float distance);
bool MoveObjectRight(std::int32_t n, float distance);
bool MoveObjectUp(std::int32_t n, float distance);
bool MoveObjectDown(std::int32_t n, float distance);

// Free-flight turns about the object's own axes: each switches free-flight mode on.
bool TurnObjectLeft(std::int32_t n, float angle);
bool TurnObjectRight(std::int32_t n, float angle);
bool PitchObjectUp(std::int32_t n, float angle);
bool PitchObjectDown(std::int32_t n, float angle);
bool RollObjectLeft(std::int32_t n, float angle);
bool RollObjectRight(std::int32_t n, float angle);

float ObjectPositionX(std::int32_t n);
float ObjectPositionY(std::int32_t n);
float ObjectPositionZ(std::int32_t n);
float ObjectAngleX(std::int32_t n);
float ObjectAngleY(std::int32_t n);
float ObjectAngleZ(std::int32_t n);
// The next six return a float's bit pattern. The world position is the position, or for a glued
// object the translation of its world matrix, brought up to date first.
std::int32_t ObjectWorldPositionX(std::int32_t n);
std::int32_t ObjectWorldPositionY(std::int32_t n);
std::int32_t ObjectWorldPositionZ(std::int32_t n);
std::int32_t ObjectAngleXInt(std::int32_t n);
std::int32_t ObjectAngleYInt(std::int32_t n);
std::int32_t ObjectAngleZInt(std::int32_t n);
// Write three floats into out (zeros when the check fails; nothing for a null out); return out.
float* GetObjectPositionVector(float* out, std::int32_t n);
float* GetObjectAngleVector(float* out, std::int32_t n);

// The entries other modules keep by name.
void PositionObjectExport(std::int32_t n, float x, float y, float z);
float GetObjectWorldPositionX(std::int32_t n);
float GetObjectWorldPositionY(std::int32_t n);
float GetObjectWorldPositionZ(std::int32_t n);
