// Special folders of the platform. Every directory path ends with '/'.
#pragma once

#include <string>
#include <vector>

namespace kivo {

class Folders {
 public:
  virtual ~Folders() = default;
  // The directory of the running program file.
  virtual std::string ProgramDirectory() = 0;
  // The user's application-data folder.
  virtual std::string AppDataFolder() = 0;
  // The system's program-files folders.
  virtual std::vector<std::string> ProgramFilesFolders() = 0;
};

}  // namespace kivo
