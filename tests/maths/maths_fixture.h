// The maths module started without an engine (as after its CoreData pass), keeping the texts it
// reports for the case to read.
#pragma once

#include "core/win32.h"

#include "maths/maths.h"
#include "maths/maths_store.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <string>

class MathsItems : public ::testing::Test {
protected:
    void SetUp() override {
        MathsDestructor();
        MathsPassCoreData(nullptr);
        Text().clear();
        g_Maths.report = [](const char* text) { Text() += text; };
    }
    void TearDown() override {
        MathsDestructor();
        g_Maths.report = nullptr;
    }
    static std::string& Text() {
        static std::string text;
        return text;
    }
    // The texts and the error since the last call; both are cleared.
    static std::string TakeText() { return std::move(Text()); }
    std::int32_t TakeError() {
        const std::int32_t last = errors.Last();
        errors.Clear();
        return last;
    }
    ErrorCellScope errors;
};

struct V3 {
    float x, y, z;
};
inline V3 Read3(std::int32_t id) {
    float v[3];
    GetVector3(v, id);
    return {v[0], v[1], v[2]};
}
inline void Make3(std::int32_t id, float x, float y, float z) {
    MakeVector3(id);
    SetVector3(id, x, y, z);
}
inline void ExpectVector3(std::int32_t id, float x, float y, float z) {
    const V3 v = Read3(id);
    EXPECT_FLOAT_EQ(v.x, x) << "item " << id;
    EXPECT_FLOAT_EQ(v.y, y) << "item " << id;
    EXPECT_FLOAT_EQ(v.z, z) << "item " << id;
}
