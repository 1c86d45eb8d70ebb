#include "core/win32.h"

#include "support/temp_folder.h"
#include "core/load_budget.h"
#include "modelfile/converter_common.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ModelFileRead, ChargesTheOneCopyItHolds) {
    TempFolder folder;
    const std::string path = folder.Write("model.bin", std::string(5000, 'm'));
    std::vector<std::uint8_t> bytes;
    {
        LoadScope load(5000);
        ASSERT_TRUE(ReadModelFile(path.c_str(), bytes));
        EXPECT_EQ(bytes.size(), 5000u);
        EXPECT_EQ(LoadCharged(), 5000u);
        // With one byte too few left, the file is not read at all.
        ASSERT_TRUE(ChargeLoad(LoadLimit() - LoadCharged() - 4999));
        EXPECT_FALSE(ReadModelFile(path.c_str(), bytes));
        EXPECT_TRUE(bytes.empty());
        EXPECT_TRUE(LoadOverBudget());
    }
    // Outside a load the file is read, and nothing charged.
    ASSERT_TRUE(ReadModelFile(path.c_str(), bytes));
    EXPECT_EQ(bytes.size(), 5000u);
    EXPECT_FALSE(ReadModelFile(folder.File("missing.bin").c_str(), bytes));
}
