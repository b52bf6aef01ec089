#include "desktop_shell.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dorvan::ui {

namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

// dorvan's own entry takes drawings as search targets and never shows them.
bool IsDorvan(GAppInfo* application) {
  const char* id = g_app_info_get_id(application);
  return id != nullptr && std::string_view(id) == "dorvan.desktop";
}

// The type's default application, or the first recommended one when the default is dorvan;
// null when there is none.
GAppInfo* ApplicationFor(const char* type) {
  GAppInfo* chosen = g_app_info_get_default_for_type(type, FALSE);
  if (chosen == nullptr || !IsDorvan(chosen)) return chosen;
  g_object_unref(chosen);
  chosen = nullptr;
  GList* recommended = g_app_info_get_recommended_for_type(type);
  for (GList* entry = recommended; entry != nullptr && chosen == nullptr; entry = entry->next) {
    auto* application = static_cast<GAppInfo*>(entry->data);
    if (!IsDorvan(application)) chosen = static_cast<GAppInfo*>(g_object_ref(application));
  }
  g_list_free_full(recommended, g_object_unref);
  return chosen;
}

// The Japanese comment of a type in the shared MIME database (XDG data folders), or empty.
std::string JapaneseComment(const char* type) {
  const std::string file = std::string("mime/") + type + ".xml";
  std::vector<std::string> folders{g_get_user_data_dir()};
  for (const gchar* const* folder = g_get_system_data_dirs(); *folder != nullptr; ++folder) folders.emplace_back(*folder);
  for (const std::string& folder : folders) {
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents((folder + "/" + file).c_str(), &contents, &length, nullptr)) continue;
    const std::string text(contents, length);
    g_free(contents);
    constexpr std::string_view kOpen = "<comment xml:lang=\"ja\">";
    const std::size_t start = text.find(kOpen);
    if (start == std::string::npos) return {};
    const std::size_t end = text.find("</comment>", start);
    if (end == std::string::npos) return {};
    return text.substr(start + kOpen.size(), end - start - kOpen.size());
  }
  return {};
}

// The type as a Japanese user knows it: the desktop's description follows the desktop's
// language, which may be English, and is "unknown" where no type database is installed.
std::string TypeName(const char* type) {
  const std::string_view name = type;
  if (name == "inode/directory") return "フォルダ";
  if (name == "application/x-jww") return "JWW図面";
  if (name == "application/octet-stream" || name.empty()) return "不明";
  std::string comment = JapaneseComment(type);
  if (!comment.empty()) return comment;
  return "不明（" + std::string(name) + "）";
}

}  // namespace

int32_t DesktopShell::ShellOpen(const std::string& file, int32_t /*showCommand*/) {
  detail_.clear();
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return kShellFileMissing;

  // GIO takes a path as bytes, so a name that is not UTF-8 reaches the application intact.
  const GObjectPtr<GFile> target(g_file_new_for_path(file.c_str()));
  GError* rawError = nullptr;
  const GObjectPtr<GFileInfo> info(g_file_query_info(target.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                     G_FILE_QUERY_INFO_NONE, nullptr, &rawError));
  std::unique_ptr<GError, ErrorFree> error(rawError);
  const char* type = info ? g_file_info_get_content_type(info.get()) : nullptr;
  if (type == nullptr) {
    if (error) detail_ = error->message;
    return kShellFileMissing;
  }
  const GObjectPtr<GAppInfo> application(ApplicationFor(type));
  if (!application) {
    detail_ = TypeName(type);
    return kShellNoApplication;
  }
  return Launch(application.get(), target.get());
}

int32_t DesktopShell::Launch(GAppInfo* application, GFile* target) {
  GList files{};
  files.data = target;
  GError* rawError = nullptr;
  const gboolean launched = g_app_info_launch(application, &files, nullptr, &rawError);
  std::unique_ptr<GError, ErrorFree> error(rawError);
  if (!launched) {
    detail_ = error ? error->message : g_app_info_get_name(application);
    return kShellLaunchFailed;
  }
  return 0;
}

bool DesktopShell::HasApplicationFor(const std::string& contentType) {
  const GObjectPtr<GAppInfo> application(ApplicationFor(contentType.c_str()));
  return application != nullptr;
}

int32_t DesktopShell::ShellOpenAs(const std::string& file, const std::string& contentType) {
  detail_.clear();
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return kShellFileMissing;
  const GObjectPtr<GAppInfo> application(ApplicationFor(contentType.c_str()));
  if (!application) {
    detail_ = contentType;
    return kShellNoApplication;
  }
  const GObjectPtr<GFile> target(g_file_new_for_path(file.c_str()));
  return Launch(application.get(), target.get());
}

}  // namespace dorvan::ui
