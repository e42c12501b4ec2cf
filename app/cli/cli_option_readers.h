// SPDX-License-Identifier: MIT
#pragma once

#include "app/cli/cli_option_table.h"

namespace cli {

// The readers of the option table's rows (ReadOption): each checks its
// option's argument and stores it where the options keep it.
std::string ReadHelp(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadVersion(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadEndOfOptions(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadUser(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadDir(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadPasswordFile(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadFormat(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadMaxDepth(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadCheck(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadWarning(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadCritical(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadQuota(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadPrometheus(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadTop(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadByExtension(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadSort(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadNcdu(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadFrom(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadCompare(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadKeep(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadNoHistory(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadExclude(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadNoDefaultExcludes(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadPassive(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadActive(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadWalk(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadConnections(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadTls(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadTlsFingerprint(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadTimeout(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadDial(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadDialTimeout(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadListDialEntries(Reading& reading, const std::string& spelling, const OptionValue& value);
std::string ReadVerbose(Reading& reading, const std::string& spelling, const OptionValue& value);

}  // namespace cli
