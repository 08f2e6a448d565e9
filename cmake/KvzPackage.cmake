# Release packages (cpack) are configured here.
