// A 40-panel screen at 32 bits (a wallpaper, opaque and alpha pictures, 10 buttons, number panels), each
// iteration one frame: Update with about 10 dirty rectangles (a few buttons change their looks, numbers change,
// two pictures move), and a full redraw of the same screen. Times are per frame.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbnum.h"
#include "graphics/zorgbpanel.h"

namespace {

TZoRGBBits* Picture(Classes::TComponent* owner, VXPixFormat format, int w, int h, unsigned seed) {
  auto* b = new TZoRGBBits(owner);
  b->SetBitDepth(bd32);
  b->SetPixFormat(format);
  b->Resize(w, h);
  b->Create();
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 4; ++x) b->GetBits()[y * b->GetPitch() + x] = static_cast<unsigned char>(rng());
  return b;
}

struct Screen {
  Classes::TComponent owner{nullptr};
  TZoRGBBits* back = Picture(&owner, pf32_888, 640, 480, 1);
  TZoRGBPanel* root = new TZoRGBPanel(&owner);
  std::vector<TZoRGBPanel*> pictures;
  std::vector<TZoRGBBtn*> buttons;
  std::vector<TZoRGBNum*> numbers;
  int frame = 0;

  Screen() {
    root->SetImage(Picture(&owner, pf32_888, 640, 480, 2));
    TZoRGBBits* opaque = Picture(&owner, pf32_888, 120, 90, 3);
    TZoRGBBits* blended = Picture(&owner, pf32_8888, 100, 100, 4);
    auto* plane = new TZoAlpha(&owner);
    plane->Resize(100, 100);
    plane->Create();
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x) plane->PSet(x, y, static_cast<unsigned char>(x * 2 + y));
    TZoRGBBits* looks = Picture(&owner, pf32_888, 98, 93, 5);
    TZoRGBBits* digits = Picture(&owner, pf32_888, 14, 200, 6);

    for (int i = 0; i < 25; ++i) {  // 12 opaque, 13 alpha
      auto* p = new TZoRGBPanel(&owner, root);
      const bool alpha = i % 2 == 1;
      p->SetImage(alpha ? blended : opaque);
      if (alpha) {
        p->SetMaskMode(mmAlpha);
        p->SetAlpha(i % 4 == 1 ? plane : nullptr);  // the plane, or the picture's own alpha
      }
      p->SetOffsetX((i * 97) % 540);
      p->SetOffsetY((i * 61) % 390);
      pictures.push_back(p);
    }
    for (int i = 0; i < 10; ++i) {
      auto* b = new TZoRGBBtn(&owner, root);
      b->SetPatFocus(1);
      b->SetPatDown(1);
      b->SetImage(looks);
      b->SetOffsetX(420 + (i % 2) * 110);
      b->SetOffsetY(40 + (i / 2) * 40);
      buttons.push_back(b);
    }
    for (int i = 0; i < 4; ++i) {
      auto* n = new TZoRGBNum(&owner, root);
      n->SetImage(digits);
      n->SetColumn(6);
      n->SetOffsetX(20);
      n->SetOffsetY(400 + i * 20 - 60);
      numbers.push_back(n);
    }
    root->AllCreate();
    root->Draw(back, 0, 0);
  }

  // About ten dirty rectangles: four buttons change looks, four numbers change, two pictures move.
  void Change() {
    ++frame;
    for (int i = 0; i < 4; ++i) buttons[(frame + i * 3) % 10]->SetSelected(frame % 2 == 0);
    for (TZoRGBNum* n : numbers) n->SetNumber(frame * 37);
    pictures[frame % 25]->SetOffsetX(pictures[frame % 25]->GetOffsetX() ^ 8);
    pictures[(frame + 7) % 25]->SetOffsetY(pictures[(frame + 7) % 25]->GetOffsetY() ^ 4);
  }
};

void BM_UpdateTenDirty(benchmark::State& state) {
  Screen s;
  std::size_t rects = 0;
  for (auto _ : state) {
    s.Change();
    VXRectSet dirt;
    s.root->GetModifiedRectSet(&dirt);
    rects += dirt.size();
    benchmark::DoNotOptimize(s.root->Update(s.back));
  }
  state.counters["dirty_rects"] = benchmark::Counter(static_cast<double>(rects) / state.iterations());
  state.counters["nproc"] = std::thread::hardware_concurrency();
}
BENCHMARK(BM_UpdateTenDirty)->Unit(benchmark::kMicrosecond);

void BM_FullRedraw(benchmark::State& state) {
  Screen s;
  for (auto _ : state) {
    s.Change();
    benchmark::DoNotOptimize(s.root->Draw(s.back, 0, 0));
  }
  state.counters["nproc"] = std::thread::hardware_concurrency();
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace
