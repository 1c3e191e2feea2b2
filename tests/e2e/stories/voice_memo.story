# The voice memo screen from the system menu: holding RECORD three seconds
# adds a memo, which OK plays back (the captured tones); half a second is too
# short and leaves no file. Delete and empty ask first, remove the
# recordings and keep the index in step with the folder.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav --audio wav
expect say "Memory" within 15000
key MENU
expect say "System functions"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "voice memorandum"
key OK
expect say "Voice memorandum is empty"
hold RECORD 3000
expect say "Add success" within 5000
key OK
expect tone 22050 1 1500 within 5000
hold RECORD 500
expect say "Add failure" within 5000
key UP
expect say "0"
hold RECORD 3000
expect say "Add success" within 5000
expect file /home/tag/beiwang contains ".mp3"
key MENU
expect say "Delete"
key OK
expect say "Whether to delete the voice memo"
key OK
expect say "deleted"
expect say "0"
key MENU
expect say "Delete"
key DOWN
expect say "Empty voice memorandum"
key OK
expect say "Whether a memorandum is deleted"
key OK
expect say "Done"
expect say "Voice memorandum is empty"
key OK
expect say "Voice memorandum is empty"
expect nofile /home/tag/*.mp3
key BACK
expect say "tool box"
expect file /home/tag/beiwang
