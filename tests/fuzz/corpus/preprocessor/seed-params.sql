Select * from t where a = :A and b = &M {fn UCASE(:B)} -- :c
/* :d */ 'x:y' "q:r" !Macro