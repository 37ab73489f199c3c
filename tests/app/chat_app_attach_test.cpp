// The attach popover end to end in ChatApp: opening lists the workspace folder, picking a file
// imports it in the background, and a later sync posts the message naming the stored bytes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "app/chat_app_fixture.h"
#include "attachments/support.h"
#include "platform/strata/temp_dir.h"

namespace chat::app {
namespace {

using views::ControlId;
using K = views::ControlKind;
namespace blobstore = strata::blobstore;

class ChatAppAttachTest : public ChatAppTest {
 protected:
  ChatAppAttachTest() {
    ::setenv("ZARN_CHAT_ATTACH_DIR", dir.path().c_str(), 1);
    blobstore::set_store(store);
  }
  ~ChatAppAttachTest() override {
    ::unsetenv("ZARN_CHAT_ATTACH_DIR");
    blobstore::set_store(nullptr);
  }

  // Runs frames until `done` holds or five seconds pass.
  template <typename F>
  bool sync_until(F done) {
    for (int i = 0; i < 500; ++i) {
      sync();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  zarn_test::TempDir dir;
  std::shared_ptr<attachments::testing::MemoryStore> store =
      std::make_shared<attachments::testing::MemoryStore>();
};

TEST_F(ChatAppAttachTest, PickingAFilePostsItsStoredBytes) {
  const std::string bytes = attachments::testing::png_header(64, 48) + std::string(500, 'x');
  attachments::testing::write_bytes(dir.path() / "b.png", bytes);
  attachments::testing::write_bytes(dir.path() / "A.txt", "notes");

  activate(ControlId::of(K::Attach));
  ASSERT_TRUE(app.view().attach.open);
  EXPECT_EQ(app.view().attach.status, "Loading attachments\u2026");
  ASSERT_TRUE(sync_until([&] { return !app.view().attach.outstanding_listing; }));
  const auto& files = app.view().attach.files;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "A.txt");
  EXPECT_EQ(files[1].name, "b.png");
  EXPECT_EQ(app.view().attach.status, "");

  app.view().scroll_offset = 300;
  app.view().follow_latest = false;
  const std::string path = files[1].path;
  activate(ControlId::of(K::AttachPick, path));
  EXPECT_TRUE(app.view().attach.import_running);
  EXPECT_EQ(app.view().attach.status, "Preparing attachment\u2026");
  // A second pick while the first is pending is refused and changes nothing.
  activate(ControlId::of(K::AttachPick, files[0].path));

  ASSERT_TRUE(sync_until([&] { return !app.view().attach.import_running; }));
  EXPECT_EQ(app.view().attach.status, "Attachment shared");
  EXPECT_EQ(app.view().scroll_offset, 0);

  const document::Message& posted = app.model().messages.back();
  EXPECT_EQ(posted.author, "u_me");
  EXPECT_EQ(posted.text, "");
  ASSERT_TRUE(posted.attachment);
  const auto* image = std::get_if<document::ImageAttachment>(&*posted.attachment);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->name, "b.png");
  EXPECT_EQ(image->blob, blobstore::content_id_of(attachments::testing::bytes_of(bytes)));
  EXPECT_EQ(image->w, 64u);
  EXPECT_EQ(image->h, 48u);
  EXPECT_EQ(store->size(), 1u) << "only the first pick was imported";

  // Escape closes the popover.
  key(zarn_ui::Key::Escape);
  EXPECT_FALSE(app.view().attach.open);
}

}  // namespace
}  // namespace chat::app
