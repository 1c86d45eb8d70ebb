// The positioning operations that terrain matrices and particle emitters share. Each module gets
// its own set, ItemPlacement<its select, its current item>, with the commands under their shared
// names: ItemPlacement<...>::ScaleItem(n, x, y, z) and so on. Angles are degrees, scales percent.
//
// Every command but PositionItem and GetItemPositionZ checks the number first: outside
// 1..22,000,000 raises 7006, a number without an item 7008; it then changes nothing and a
// read-out gives 0.0. Every changing command ends with the world rebuild.
#pragma once

#include "core/win32.h"

#include "placement/transform_record.h"

#include <cstdint>

namespace placement {

using SelectFn =
    TransformRecord* (*)(std::int32_t n);    // the block of item n (made current), or null
using CurrentFn = TransformRecord* (*)();    // the current item's block, or null
using Field = float (TransformRecord::*)[3]; // position, rotation, look, ...

// The block of item n after the number checks; null after raising 7006 or 7008.
TransformRecord* Checked(std::int32_t n, SelectFn select);

// The world rebuild: world and scale-rotation from scale, rotation and position, and look, up and
// right from the rotation. Nothing for null.
void Rebuild(TransformRecord* t);

// The changes, each followed by the rebuild; all do nothing for null.
void Position(TransformRecord* t, float x, float y, float z);
void Scale(TransformRecord* t, float x, float y, float z);
void Rotate(TransformRecord* t, float x, float y, float z);
void RotateAxis(TransformRecord* t, int axis, float angle);
void Point(TransformRecord* t, float x, float y, float z);
// position += distance x the direction vector (look, right or up).
void Move(TransformRecord* t, const float* direction, float distance);
// Adds to one free-flight angle (0 yaw, 1 pitch, 2 roll) and switches free flight on.
void Turn(TransformRecord* t, int angle, float degrees);
void SetLook(TransformRecord* t, float x, float y, float z); // no rebuild

// Reads component i of a field of the block; 0.0 for null.
float Read(const TransformRecord* t, Field field, int i);
// Copies a field's three floats out; nothing when the block or out is null.
void CopyOut(const TransformRecord* t, Field field, float* out);

} // namespace placement

template <placement::SelectFn Select, placement::CurrentFn Current> struct ItemPlacement {
    static TransformRecord* Item(std::int32_t n) { return placement::Checked(n, Select); }

    // Checks nothing: a number without an item changes nothing and raises nothing.
    static void PositionItem(std::int32_t n, float x, float y, float z) {
        placement::Position(Select(n), x, y, z);
    }
    static void ScaleItem(std::int32_t n, float x, float y, float z) {
        placement::Scale(Item(n), x, y, z);
    }
    static void RotateItem(std::int32_t n, float x, float y, float z) {
        placement::Rotate(Item(n), x, y, z);
    }
    static void XRotateItem(std::int32_t n, float a) { placement::RotateAxis(Item(n), 0, a); }
    static void YRotateItem(std::int32_t n, float a) { placement::RotateAxis(Item(n), 1, a); }
    static void ZRotateItem(std::int32_t n, float a) { placement::RotateAxis(Item(n), 2, a); }
    // Euler angles that face the point; the free-flight flag stays as it is.
    static void PointItem(std::int32_t n, float x, float y, float z) {
        placement::Point(Item(n), x, y, z);
    }
    static void MoveItem(std::int32_t n, float d) { Move(n, &TransformRecord::look, d); }
    static void MoveItemLeft(std::int32_t n, float d) { Move(n, &TransformRecord::right, -d); }
    static void MoveItemRight(std::int32_t n, float d) { Move(n, &TransformRecord::right, d); }
    static void MoveItemUp(std::int32_t n, float d) { Move(n, &TransformRecord::up, d); }
    static void MoveItemDown(std::int32_t n, float d) { Move(n, &TransformRecord::up, -d); }
    static void TurnItemLeft(std::int32_t n, float a) { placement::Turn(Item(n), 0, -a); }
    static void TurnItemRight(std::int32_t n, float a) { placement::Turn(Item(n), 0, a); }
    static void PitchItemUp(std::int32_t n, float a) { placement::Turn(Item(n), 1, -a); }
    static void PitchItemDown(std::int32_t n, float a) { placement::Turn(Item(n), 1, a); }
    static void RollItemLeft(std::int32_t n, float a) { placement::Turn(Item(n), 2, -a); }
    static void RollItemRight(std::int32_t n, float a) { placement::Turn(Item(n), 2, a); }
    static void SetItemLookVector(std::int32_t n, float x, float y, float z) {
        placement::SetLook(Item(n), x, y, z);
    }

    static float GetItemPositionX(std::int32_t n) {
        return Get(Item(n), &TransformRecord::position, 0);
    }
    static float GetItemPositionY(std::int32_t n) {
        return Get(Item(n), &TransformRecord::position, 1);
    }
    // Checks nothing: 0.0 for a number without an item.
    static float GetItemPositionZ(std::int32_t n) {
        return Get(Select(n), &TransformRecord::position, 2);
    }
    static float GetItemAngleX(std::int32_t n) {
        return Get(Item(n), &TransformRecord::rotation, 0);
    }
    static float GetItemAngleY(std::int32_t n) {
        return Get(Item(n), &TransformRecord::rotation, 1);
    }
    static float GetItemAngleZ(std::int32_t n) {
        return Get(Item(n), &TransformRecord::rotation, 2);
    }
    // The current item's position or rotation, no number and no checks.
    static void CopyItemPosition(float* out) {
        placement::CopyOut(Current(), &TransformRecord::position, out);
    }
    static void CopyItemRotation(float* out) {
        placement::CopyOut(Current(), &TransformRecord::rotation, out);
    }

private:
    static void Move(std::int32_t n, placement::Field direction, float d) {
        if (TransformRecord* t = Item(n)) placement::Move(t, t->*direction, d);
    }
    static float Get(const TransformRecord* t, placement::Field field, int i) {
        return placement::Read(t, field, i);
    }
};
