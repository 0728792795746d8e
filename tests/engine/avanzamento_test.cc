// The process's progress sink: the outermost operation reaches the wait window, and the user's
// request to stop is seen by every operation.
#include "engine/avanzamento.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/processo.h"
#include "fakes/fakes.h"

namespace mlx {
namespace {

using ::testing::ElementsAre;

TEST(Avanzamento, SoloLOperazionePiuEsternaEInterruzione) {
  fakes::FakeUi ui;
  Platform plat;
  plat.ui = &ui;
  StatoProcesso stato(plat);
  progress::Sink& sink = *stato.plat.progress;
  ASSERT_EQ(&sink, &stato.avanzamento);

  // A rebuild inside the counter realignment is part of it.
  sink.Begin({progress::Kind::kCounters, "a.mdb", progress::Unit::kTables, 4, true});
  sink.Advance(1);
  sink.Begin({progress::Kind::kRebuild, "T", progress::Unit::kRows, 1000, true});
  sink.Advance(500);
  sink.End();
  sink.Advance(2);
  EXPECT_EQ(ui.compitiFiniti, 0);
  sink.End();
  ASSERT_EQ(ui.compiti.size(), 1u);
  EXPECT_EQ(ui.compiti[0].kind, progress::Kind::kCounters);
  EXPECT_THAT(ui.avanzamenti, ElementsAre(1, 2));
  EXPECT_EQ(ui.compitiFiniti, 1);
  sink.End();  // one End too many changes nothing
  EXPECT_EQ(ui.compitiFiniti, 1);

  // Nobody can ask to stop until the process is told how; once asked, it stays so.
  EXPECT_FALSE(sink.Interrupted());
  bool richiesta = false;
  stato.RichiestaInterruzione = [&richiesta] { return richiesta; };
  EXPECT_FALSE(sink.Interrupted());
  richiesta = true;
  EXPECT_TRUE(sink.Interrupted());
  richiesta = false;
  EXPECT_TRUE(sink.Interrupted());
  EXPECT_TRUE(stato.Interrotto);
}

}  // namespace
}  // namespace mlx
