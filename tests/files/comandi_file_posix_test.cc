// The file commands on what only POSIX file systems have: permission bits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fakes/ambiente.h"

namespace mlx {
namespace {

TEST(ComandiFilePosix, CopiaMantieneIPermessi) {
  fakes::Ambiente a;
  a.Scrivi("x.sh", "#!/bin/sh\n");
  ASSERT_EQ(chmod(a.Percorso("x.sh").c_str(), 0750), 0);
  a.Esegui({"ASKN", "CP," + a.Percorso("x.sh") + "," + a.Percorso("y.sh"), "MSGN"});
  struct stat st {};
  ASSERT_EQ(stat(a.Percorso("y.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
}

}  // namespace
}  // namespace mlx
