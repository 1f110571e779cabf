// The export's chunks written on a thread of their own: they reach the sink
// whole and in order, and a failed write stops the writing and reaches the
// maker, whichever chunk it fails on.
#include "export/writebehind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

TEST(WriteBehindTest, WritesInOrderAndStopsAtTheFirstFailedWrite) {
    struct Case {
        int chunks;
        int failAt;  // the sink call that fails; 0: none does
    };
    for (Case c : {Case{1, 0}, Case{7, 0}, Case{1, 1}, Case{7, 1}, Case{7, 4}, Case{7, 7}}) {
        SCOPED_TRACE(std::to_string(c.chunks) + " chunks, failing at " + std::to_string(c.failAt));
        std::string written, expected;
        int calls = 0, err = 0;
        rt::ReplaceSink sink = [&](std::string_view piece) {
            if (++calls == c.failAt) return ENOSPC;
            written.append(piece);
            return 0;
        };
        {
            exportdata::WriteBehind writer(sink);
            std::vector<char> chunk(64);
            for (int i = 0; i < c.chunks && err == 0; ++i) {
                std::string text = "chunk " + std::to_string(i) + ";";
                std::copy(text.begin(), text.end(), chunk.begin());
                if (c.failAt == 0 || i + 1 < c.failAt) expected += text;
                err = i + 1 < c.chunks ? writer.Put(chunk, text.size()) : writer.Finish(chunk, text.size());
                ASSERT_EQ(chunk.size(), 64u);  // a buffer to fill next, of the same size
            }
        }
        EXPECT_EQ(err, c.failAt ? ENOSPC : 0);
        EXPECT_EQ(calls, c.failAt ? c.failAt : c.chunks);  // nothing written after the failure
        EXPECT_EQ(written, expected);
    }
}
