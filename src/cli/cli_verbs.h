// zelioctl's commands, one function each; the table in cli.cpp names them
// with their options and help texts.
#pragma once

#include "cli/cli_output.h"
#include "cli/cli_session.h"

namespace zelio {

using VerbHandler = int (*)(Session& session, CliOutput& out);

// Module commands (cli_module_verbs.cpp).
int listVerb(Session& s, CliOutput& out);
int doctorVerb(Session& s, CliOutput& out);
int udevRuleVerb(Session& s, CliOutput& out);
int attachVerb(Session& s, CliOutput& out);
int versionVerb(Session& s, CliOutput& out);
int readVerb(Session& s, CliOutput& out);
int writeVerb(Session& s, CliOutput& out);
int testVerb(Session& s, CliOutput& out);
int resetVerb(Session& s, CliOutput& out);
int idChangeVerb(Session& s, CliOutput& out);

// Waiting and the production line (cli_provision.cpp).
int waitVerb(Session& s, CliOutput& out);
int provisionVerb(Session& s, CliOutput& out);

// File commands (cli_file_verbs.cpp).
int saveVerb(Session& s, CliOutput& out);
int showVerb(Session& s, CliOutput& out);

}  // namespace zelio
