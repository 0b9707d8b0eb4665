#include "ui/game_launch.h"

std::u16string GamePath(const std::u16string& working_dir, const std::u16string& name) {
  return working_dir + u"\\System\\" + name;
}

std::u16string GameDirectory(const std::u16string& working_dir) {
  return working_dir + u"/System";
}

std::u16string DirectStartCommandLine(const std::u16string& game_path,
                                      const std::u16string& parameters) {
  return u"\"" + game_path + u"\" " + parameters;
}

std::u16string LaunchFailureReason(int64_t shell_result) {
  switch (shell_result) {
    case 2: return u"文件名不存在";
    case 3: return u"路径名不存在";
    case 5: return u"拒绝访问";
    case 8: return u"内存不足";
    case 26: return u"发生共享错误";
    case 27: return u"文件名不完全或无效";
    case 28: return u"超时";
    case 29: return u"DDE 事务失败";
    case 30: return u"正在处理其他 DDE 事务而不能完成该 DDE 事务";
    case 31: return u"没有相关联的应用程序";
    case 32: return u"DLL不存在";
    default: return u"";
  }
}

std::u16string LaunchFailureText(const std::u16string& failed_text, int64_t shell_result,
                                 const std::u16string& system_description) {
  std::u16string reason = LaunchFailureReason(shell_result);
  if (reason.empty()) {
    const std::string code = std::to_string(shell_result);
    reason.assign(code.begin(), code.end());
    if (!system_description.empty()) reason += u" " + system_description;
  }
  return failed_text + u"\uFF1A" + reason;
}

int ElapsedWholeSeconds(double start_time, double launch_time) {
  return static_cast<int>(launch_time - start_time);
}
