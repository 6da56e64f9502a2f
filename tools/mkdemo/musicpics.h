// The music game's own pictures and voices, in the main data (the layout of the screen is forms/MusicUnit.form):
// - "SongCurtain.png", 640 x 48 with alpha: three 16-pixel strips of the stage curtain, stacked: 0 the closed
//   velvet, 1 its lower edge with the gold fringe, 2 the fringe alone (the curtain opens and closes strip by strip);
// - "SongSheet.bmp", 486 x 180: the note sheet, a staff on glass with the judgement line at x 84;
// - "SongNote.png", 135 x 132 with alpha: ten 27 x 66 notes in two rows of five; 0..3 the left hand's keys (head
//   above, the key label below it), 5..8 the right hand's (label above, head below), 4 and 9 the notes the
//   program plays on easy;
// - "SongAlphabet.png", 270 x 69 with alpha: the key labels, 27 x 23 each, ten a row in key-index order (A S D F
//   J K L ; G H / Q W E R U I O P T Y / Z X C V M , . / B N);
// - "SongGclef.png", 96 x 240 with alpha: the judgement clef, drawn smaller the worse the judgement;
// - "SongScoreFrame.bmp", 154 x 180: the score frame with its captions;
// - "SongPopLarge.bmp", 19 x 440 and "SongPopSmall.bmp", 8 x 220: the gauge's segments, one block each for every
//   segment unlit (0..4, 0..9), then lit (5..9 and twice more in the flashing colours of a full gauge; 10..19);
// - "SongScore.bmp", 12 x 200: the digits 0..9 of the score;
// - "SongHitLamp.bmp", 25 x 27: the lamp over the judgement line while a note passes;
// - "SongCapAuto.png", "SongCapDemo.png", 166 x 192 with alpha: the auto and demo captions, bright and dim;
// - "SongCount.png", 420 x 1440 with alpha: the continue prompt, then its count from 10 down to 0 (12 blocks);
//   "SongCountYN.png", 250 x 100 with alpha: the keys that answer it;
// - "SongFrameTop.png", "SongFrameBottom.png" (576 x 16), "SongFrameLeft.png", "SongFrameRight.png" (32 x 300),
//   with alpha: the optional frame around the stage;
// - "SongBG000.png" .. "SongBG002.png", 640 x 300: the game's standard stage background (an owner's choice);
// - "SysVoice05_01.ogg" .. "SysVoice05_05.ogg": the short cheers after a cleared story song.
#pragma once

#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddMusicPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
