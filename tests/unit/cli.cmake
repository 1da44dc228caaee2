# The pure parts of vantelo-cli.
target_link_libraries(tst_cliparts PRIVATE vantelo_cli_parts)
