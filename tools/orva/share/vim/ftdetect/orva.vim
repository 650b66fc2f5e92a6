" ORVA scripts, by extension or by a #! line that runs orva.
autocmd BufNewFile,BufRead *.orva setfiletype orva
autocmd BufNewFile,BufRead * if getline(1) =~# '^#!.*\<orva\>' | setfiletype orva | endif
