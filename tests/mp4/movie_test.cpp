#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mp4/movie.h"
#include "tests/mp4/box_builder.h"

using namespace boxes;

TEST(Movie, ReadsTheFirstTracksAndCountsThemAll) {
    std::string traks;
    for (std::uint32_t id = 1; id <= 5; ++id) traks += box("trak", tkhd(0, id, 0, 0));
    const std::string moov = box("moov", mvhd(0, 1000, 2000) + traks);
    const mp4::BoxTree tree(std::vector<std::uint8_t>(moov.begin(), moov.end()));
    for (const std::size_t maxTracks : {0, 3, 5, 9}) {
        SCOPED_TRACE(maxTracks);
        const mp4::Movie movie = mp4::readMovie(tree, maxTracks);
        EXPECT_EQ(movie.trackCount, 5u);
        ASSERT_EQ(movie.tracks.size(), std::min<std::size_t>(maxTracks, 5));
        for (std::size_t i = 0; i < movie.tracks.size(); ++i) EXPECT_EQ(movie.tracks[i].id, i + 1);
    }
}
