// zarn-chat: installs the content store and hands control to the platform launcher.
#include "app/content_store.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  chat::app::install_content_store();
  zarn_ui::launch::run_or_exit(chat::app::make_launch_config(), argc, argv);
}
