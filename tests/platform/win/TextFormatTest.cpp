// printf into a string: short and long texts come out whole, around the helper's first buffer.
#include "platform/win/TextFormat.h"

#include <gtest/gtest.h>

#include <string>

TEST(TextFormat, TextsOfEveryLengthComeOutWhole) {
    EXPECT_EQ(textformat::Format("%s", ""), "");
    EXPECT_EQ(textformat::Format("r%d.%s", 3, "xyz"), "r3.xyz");
    // Lengths around the first buffer (256 bytes) and far beyond it, as generated shader text gets.
    for (size_t length : {255u, 256u, 257u, 5000u}) {
        std::string filler(length, 'a');
        filler.back() = 'z';
        const std::string text = textformat::Format("[%s]%d", filler.c_str(), 7);
        EXPECT_EQ(text.size(), length + 3) << length;
        EXPECT_EQ(text, "[" + filler + "]7") << length;
    }
}
