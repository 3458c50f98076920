// The remote properties dialog: the one- and several-entry texts, the permission boxes and
// what OK gives back (the mode sent for it: HostViewTest).

#include <gtest/gtest.h>

#include <QCheckBox>

#include "settings/qt/PropertiesDialog.h"
#include "ui/QtText.h"

namespace pelmar::test {
namespace {

TPropertyEntry Entry(const char* name, const char* type, int64_t size, uint16_t attributes) {
  TPropertyEntry entry;
  entry.Name = name;
  entry.Type = type;
  entry.Size = size;
  entry.Attributes = attributes;
  entry.Modified = QDateTime(QDate(2020, 1, 15), QTime(12, 0));
  return entry;
}

TEST(PropertiesDialog, OneEntrySeveralEntriesAndTheBoxes) {
  TfrmProperties one({Entry("a.txt", "Text", 2048, 4 | 8 | 32 | 256)}, "/", true);
  EXPECT_EQ(one.Text("lblSize"), "2KB (2,048 Bytes)");
  TPropertyEntry undated = Entry("new", "Folder", 0, 4);
  undated.Modified = ToDateTime(0);  // a folder just made: its date is not known
  EXPECT_EQ(TfrmProperties({undated}, "/", true).Text("lblModified"), "");
  EXPECT_TRUE(one.findChild<QCheckBox*>("cbGroupRead")->isChecked());
  EXPECT_FALSE(one.findChild<QCheckBox*>("cbGroupWrite")->isChecked());
  EXPECT_EQ(one.Attributes(), 0) << "OK without touching a box changes nothing";
  EXPECT_FALSE(one.Changed());
  one.findChild<QCheckBox*>("cbOwnerExecute")->click();
  EXPECT_TRUE(one.Changed());
  EXPECT_EQ(one.Attributes(), 4 | 8 | 16 | 32 | 256);

  TfrmProperties two({Entry("a.txt", "Text", 100, 1 | 4 | 64), Entry("b", "Folder", 0, 4)}, "/pub/",
                     true);
  EXPECT_EQ(two.Text("lblName"), "1 Files, 1 Folders");
  EXPECT_EQ(two.Text("lblModified"), "Multiple Dates");
  EXPECT_TRUE(two.findChild<QCheckBox*>("cbOwnerRead")->isChecked());
  EXPECT_FALSE(two.findChild<QCheckBox*>("cbGroupWrite")->isChecked()) << "only when all have it";

  TfrmProperties dos({Entry("A.TXT", "Text", 1, 0)}, "/", false);
  EXPECT_FALSE(dos.findChild<QCheckBox*>("cbOwnerRead")->isEnabled());
}

}  // namespace
}  // namespace pelmar::test
