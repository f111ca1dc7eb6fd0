// Choosing the interfaces and reporting the addresses left out.
#include "interfaces.h"

#include <cstring>

#include "devtext.h"
#include "dsapi.h"

std::vector<_DSIFADDR> AllInterfaceRows(int (*list)(_DSIFADDR *, int)) {
  std::vector<_DSIFADDR> rows;
  for (int want = 64;;) {
    rows.resize(static_cast<size_t>(want));
    const int n = list(rows.data(), want);
    if (n < 0)
      return {};
    if (n <= want) {
      rows.resize(static_cast<size_t>(n));
      return rows;
    }
    want = n;  // more came since the first call: ask again with room for them
  }
}

std::vector<std::string> SplitInterfaceList(const std::string &text) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t first = part.find_first_not_of(" \t");
    if (first != std::string::npos)
      names.push_back(part.substr(first, part.find_last_not_of(" \t") - first + 1));
    if (comma == std::string::npos)
      return names;
    start = comma + 1;
  }
}

bool ChooseInterfaces(const std::vector<std::string> &names, std::string *error) {
  if (names.empty()) {
    ds_choose_interfaces(nullptr, 0);
    return true;
  }
  const std::vector<_DSIFADDR> rows = AllInterfaceRows(ds_interface_addresses);
  for (const std::string &name : names) {
    bool exists = false, up = false, loopback = false, ipv4 = false;
    for (const _DSIFADDR &r : rows) {
      if (name.size() >= DS_IFNAME_SIZE || std::strncmp(r.name, name.c_str(), DS_IFNAME_SIZE) != 0)
        continue;
      exists = true;
      up = r.up;
      loopback = r.loopback;
      ipv4 = ipv4 || r.addr != 0;
    }
    const char *why = nullptr;
    if (!exists)
      why = "no such interface";
    else if (loopback)
      why = "a loopback interface cannot search";
    else if (!ipv4)
      why = "the interface has no IPv4 address";
    else if (!up)
      why = "the interface is down";
    if (why != nullptr) {
      *error = "interface " + name + ": " + why;
      return false;
    }
  }
  std::vector<const char *> list;
  for (const std::string &name : names)
    list.push_back(name.c_str());
  ds_choose_interfaces(list.data(), static_cast<int>(list.size()));
  return true;
}

std::vector<std::string> LeftOutAddresses() {
  std::vector<std::string> texts;
  for (const _DSIFADDR &r : AllInterfaceRows(ds_left_out_addresses))
    texts.push_back(std::string(r.name) + " " + IpText(r.addr, false));
  return texts;
}

std::string LeftOutText() {
  const std::vector<std::string> left = LeftOutAddresses();
  if (left.empty())
    return "";
  std::string text = "local addresses left out (a search uses the first 16):";
  for (size_t i = 0; i < left.size(); i++)
    text += (i ? ", " : " ") + left[i];
  return text;
}
