#include "runtime/Interaction.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "runtime/CodePage.h"

namespace ovx {
namespace {

std::mutex& ConsoleMutex() {
    static std::mutex mutex;
    return mutex;
}

void WriteConsole(const std::string& utf8) {
    std::lock_guard lock(ConsoleMutex());
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

std::atomic<Interaction*> g_installed{nullptr};

}  // namespace

int ConsoleInteraction::ShowMessage(const Text& content, int /*flags*/, const Text& caption) {
    WriteConsole("[" + LocalToUtf8(caption) + "] " + LocalToUtf8(content) + "\n");
    return answer_;
}

void ConsoleInteraction::AppendEditText(const std::string& /*editBox*/,
                                        const std::vector<Text>& texts) {
    std::string utf8;
    for (const Text& text : texts) utf8 += LocalToUtf8(text);
    WriteConsole(utf8);
}

bool ConsoleInteraction::ShellOpen(int /*verb*/, const Text& target, const Text& /*parameters*/,
                                   const Text& /*workingFolder*/, int /*showMode*/) {
    WriteConsole("[open] " + LocalToUtf8(target) + "\n");
    return false;  // there is no desktop to hand the target to
}

void ConsoleInteraction::PlayMp3(int count, const std::vector<Text>& files) {
    if (count == 0) return;
    for (const Text& file : files) WriteConsole("[play] " + LocalToUtf8(file) + "\n");
}

Interaction& CurrentInteraction() {
    if (Interaction* installed = g_installed.load(std::memory_order_acquire)) return *installed;
    static ConsoleInteraction console;
    return console;
}

void InstallInteraction(Interaction* interaction) {
    g_installed.store(interaction, std::memory_order_release);
}

int ShowMessage(const Text& content, int flags, const OptText& caption) {
    if (!(flags & kMbSystemModal)) flags |= kMbTaskModal;
    return CurrentInteraction().ShowMessage(content, flags, caption ? *caption : "信息："_t);
}

void ProcessEvents() { CurrentInteraction().ProcessEvents(); }

void AppendEditText(const std::string& editBox, const std::vector<Text>& texts) {
    CurrentInteraction().AppendEditText(editBox, texts);
}

bool ShellOpen(int verb, const Text& target, const Text& parameters, const Text& workingFolder,
               int showMode) {
    return CurrentInteraction().ShellOpen(verb, target, parameters, workingFolder, showMode);
}

void PlayMp3(int count, const std::vector<Text>& files) {
    CurrentInteraction().PlayMp3(count, files);
}

}  // namespace ovx
