# --run-for ends the run with an orderly power-off.
start --run-for 1
expect say "正在关机" within 6000
expect exit 0 within 6000
