#include "appkit/settings_list.h"

#include <mutex>

namespace appkit {
namespace {

std::mutex gMutex;

rt::Usual& List() {
    static rt::Usual list = rt::Usual::Array();
    return list;
}

std::string TextAt(size_t position) {
    rt::Usual v = Setting(position);
    return v.IsString() ? v.AsStr() : std::string();
}

}  // namespace

rt::Usual SettingsList() {
    std::lock_guard lock(gMutex);
    return List();
}

void ResetSettingsList() {
    std::lock_guard lock(gMutex);
    List().AsArray()->clear();
}

size_t AddSetting(const rt::Usual& value) {
    std::lock_guard lock(gMutex);
    List().AAdd(value);
    return List().ALen();
}

rt::Usual Setting(size_t position) {
    std::lock_guard lock(gMutex);
    const rt::Usual& list = List();
    return position >= 1 && position <= list.ALen() ? list.At(position) : rt::Usual();
}

std::string DataDirectory() { return TextAt(kSettingDataDir); }
std::string ApplicationTitle() { return TextAt(kSettingTitle); }

}  // namespace appkit
