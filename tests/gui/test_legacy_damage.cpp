// A damaged Access file as the directory: the program says it cannot
// connect, at once, and the file stays as it was.
#include "FrameFixture.h"
#include "platform/db/Table.h"
#include "platform/legacy/LegacyReader.h"
#include "support/DamagedAccess.h"

#include <string>

namespace {

class LegacyDamage : public FrameFixture
{
};

} // namespace

TEST_F(LegacyDamage, AFileThatMakesTheReaderEatMemoryIsAConnectionErrorAtOnce)
{
    const QByteArray file = testsupport::accessDirectoryEatingMemory();
    const QString path = dir.write("balon.mdb", file);
    createWith(path, 0);
    EXPECT_EQ(connectErrors(), 1);
    EXPECT_FALSE(DMVidra->Imenik->Active());
    // Stopped by its memory limit, not by the watchdog after half a minute.
    const std::string complaints = vidra::legacy::lastReaderComplaints();
    EXPECT_NE(complaints.find("the memory allowed is used up"), std::string::npos)
        << complaints.substr(0, 500);
    EXPECT_EQ(testsupport::TempDir::read(path), file);
}
