# SPDX-License-Identifier: MIT
# Wraps sh-sys-host's --help text (IN) into a manual page (OUT) as it is.
file(READ ${IN} text)
string(REPLACE "\\" "\\e" text "${text}")
# a line that starts with a dot or a quote would be read as a request
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
file(WRITE ${OUT} ".TH SH-SYS-HOST 1 \"\" \"kelvo-sh-sys ${VERSION}\" \"kelvo-sh-sys\"\n.nf\n${text}.fi\n")
