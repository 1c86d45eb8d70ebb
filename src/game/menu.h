// The front-end menu: pages of items drawn in the image font over the backdrop.
#pragma once

#include <cstdint>

struct FrontEndMenu {
    std::int32_t itemCount = 0;
    std::int32_t helpPage = 0;
    std::int32_t page = 0;
    std::int32_t shownTable = 0;
    void Open();
    void Update();
    void Draw();
    void HandleInput();
};

FrontEndMenu& Menu();
