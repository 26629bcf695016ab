#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace velmora::test {

// Things a file name can stand for besides a regular file, as a project,
// settings file or list unpacked from someone else's archive may hold.
enum class Planted { Fifo, Folder, DeviceLink, EndlessDeviceLink };

// Puts one of them at `path` (raw bytes); false when the system refused.
bool plant(Planted kind, const QByteArray& path);
const char* nameOf(Planted kind);
inline constexpr Planted kAllPlanted[] = {Planted::Fifo, Planted::Folder, Planted::DeviceLink,
                                          Planted::EndlessDeviceLink};

// Runs `work` as a user without privileges (nobody) when the tests run as
// root, so that file permissions bind as they do for a user; as anyone
// else it simply runs `work`. False when the switch was not possible.
bool asUnprivilegedUser(const std::function<void()>& work);
// Lets that user reach and read `path` and the folders above it.
void openToEveryone(const QString& path);

// Every file and link below `folder` (relative paths, raw bytes), sorted:
// what a test compares before and after to see that nothing else changed.
QByteArrayList treeOf(const QByteArray& folder);

}  // namespace velmora::test
