// Stage scripts ("Anime.txt") of the songs, from sources in data/songs/<ID>/ that are written as the game reads
// them (UTF-8 there, CP932 in the game) with one addition: an event time may be given in beats of the song as
// "b<beats>" ("b16", "b30.5"), which becomes seconds with three decimals, so that the stage keeps time with the
// music. Lines pass through otherwise unchanged; line ends become CRLF.
#pragma once

#include <string>
#include <vector>

namespace mkdemo {

// Throws std::runtime_error naming the file and line of a bad beat time.
std::string StageFile(const std::string& source, double tempo);

// The files a stage script loads from its part, in the order it names them: pictures and sounds of the [Load]
// section (a BGANIM pattern expanded as the game expands it) and the motion description files, each followed by
// the picture its first line names (read from the first of `folders` that holds the description file). Each
// name once.
std::vector<std::string> StageFiles(const std::string& source, const std::vector<std::string>& folders);

// The names a BGANIM pattern stands for: "sky[1-4].jpg" gives sky1.jpg .. sky4.jpg, "a[xy].png" axe.png and
// ay.png; a pattern without a well-formed bracket is itself.
std::vector<std::string> ExpandBracketPattern(const std::string& pattern);

}  // namespace mkdemo
