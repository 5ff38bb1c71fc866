# Independent reference for the failure model's chain (not part of the repo).
import sys
from collections import deque
P=['HW','L','R','C','perm_fault_L','perm_fault_R','perm_fault_C','P_error_L','P_error_R','P_error_C','catastrophic_failure','Test_L','safe_failure','Test_R','Test_C']
I={n:i for i,n in enumerate(P)}
init=[0]*15; init[I['HW']]=1; init[I['Test_L']]=1
def run(pperm, srr, ter, tl=0):
    T=[]
    def tr(level,text):
        if tl>=level: T.append(text)
    def restore(m,src):
        m[I[src]]-=1
        m[I['HW']]=1; m[I['Test_L']]=1
        for n in ['Test_R','Test_C','perm_fault_L','perm_fault_R','perm_fault_C','P_error_L','P_error_R','P_error_C','safe_failure','catastrophic_failure']: m[I[n]]=0
    def test1(m,t,pf,nxt):
        m[I[t]]-=1
        if m[I[pf]]>0 and m[I['catastrophic_failure']]==0:
            m[I['safe_failure']]+=1; m[I[pf]]=0
        else: m[I[nxt]]+=1
    def mv(a,b):
        def f(m): m[I[a]]-=1; m[I[b]]+=1
        return f
    # (name, kind, group, enabling place, rate fn, weight fn, fire fn)
    A=[]
    A.append(('fault_rate_L_case1','I',12,'L',lambda m:0.0,lambda:pperm,mv('L','perm_fault_L')))
    A.append(('fault_rate_L_case2','I',12,'L',lambda m:0.0,lambda:1.0-pperm,mv('L','P_error_L')))
    A.append(('fault_rate_R_case1','I',13,'R',lambda m:0.0,lambda:pperm,mv('R','perm_fault_R')))
    A.append(('fault_rate_R_case2','I',13,'R',lambda m:0.0,lambda:1.0-pperm,mv('R','P_error_R')))
    A.append(('fault_rate_C_case1','I',14,'C',lambda m:0.0,lambda:pperm,mv('C','perm_fault_C')))
    A.append(('fault_rate_C_case2','I',14,'C',lambda m:0.0,lambda:1.0-pperm,mv('C','P_error_C')))
    A.append(('fault_occurrence_rate_case1','E',0,'HW',lambda m:m[I['HW']]*0.000001,lambda:0.34,mv('HW','L')))
    A.append(('fault_occurrence_rate_case2','E',0,'HW',lambda m:m[I['HW']]*0.000001,lambda:0.33,mv('HW','R')))
    A.append(('fault_occurrence_rate_case3','E',0,'HW',lambda m:m[I['HW']]*0.000001,lambda:0.33,mv('HW','C')))
    for x,g in (('L',1),('R',2),('C',3)):
        A.append(('fault_activatation_rate_'+x,'E',g,'perm_fault_'+x,(lambda x: lambda m:m[I['perm_fault_'+x]]*3600.0)(x),lambda:1.0,mv('perm_fault_'+x,'P_error_'+x)))
    for x,g,r in (('L',4,3600.0),('R',5,360.0),('C',6,36.0)):
        A.append(('error_prop_rate_'+x,'E',g,'P_error_'+x,(lambda r: lambda m:r)(r),lambda:1.0,mv('P_error_'+x,'catastrophic_failure')))
    A.append(('cat_rest_rate','E',7,'catastrophic_failure',lambda m:100.0*srr,lambda:1.0,lambda m:restore(m,'catastrophic_failure')))
    A.append(('test_execution_rate_case1','E',8,'Test_L',lambda m:ter,lambda:0.7,lambda m:test1(m,'Test_L','perm_fault_L','Test_R')))
    A.append(('test_execution_rate_case2','E',8,'Test_L',lambda m:ter,lambda:0.3,mv('Test_L','Test_R')))
    A.append(('safe_restore_rate','E',9,'safe_failure',lambda m:srr,lambda:1.0,lambda m:restore(m,'safe_failure')))
    A.append(('test_execution_rate_R_case1','E',10,'Test_R',lambda m:ter,lambda:0.7,lambda m:test1(m,'Test_R','perm_fault_R','Test_C')))
    A.append(('test_execution_rate_R_case2','E',10,'Test_R',lambda m:ter,lambda:0.3,mv('Test_R','Test_C')))
    A.append(('test_execution_rate_C_case1','E',11,'Test_C',lambda m:ter,lambda:0.7,lambda m:test1(m,'Test_C','perm_fault_C','Test_L')))
    A.append(('test_execution_rate_C_case2','E',11,'Test_C',lambda m:ter,lambda:0.3,mv('Test_C','Test_L')))
    groups={}
    for idx,a in enumerate(A): groups.setdefault(a[2],[]).append(idx)
    en=lambda m,i: m[I[A[i][3]]]>0
    def prob(m,i):
        mem=groups[A[i][2]]
        if len(mem)==1: return 1.0
        tot=0.0
        for j in mem:
            if en(m,j): tot+=A[j][5]()
        return 1.0*(A[i][5]()/tot)
    states={tuple(init):1}; order=[tuple(init)]; q=deque([tuple(init)])
    arm=[]; var=[]
    def rew(m):
        c=m[I['catastrophic_failure']]; s=m[I['safe_failure']]
        if c>0 or s>0:
            qq=int(c/(c+s)) if True else 0
            return [1.0, float(c//(c+s)), 1.0-float(c//(c+s))]
        return [0.0,0.0,0.0]
    def fmt(x): return '%g'%x
    var+=['Cpu_Failure','cpu_catastrophic_failure','cpu_safe_failure']
    def addvar(n,m):
        var.append(str(n))
        for r in rew(m): var.append('0'); var.append(fmt(r))
    addvar(1,list(init))
    while q:
        cur=q.popleft(); n=states[cur]
        tr(1,'State Number = %d'%n)
        trans=[]
        def save(rate,m):
            tr(4,'The rate to this state: %f'%rate)
            if not rate>0.0: return
            t=tuple(m)
            if t not in states:
                states[t]=len(states)+1; q.append(t); trans.append((states[t],rate)); addvar(states[t],m)
            else: trans.append((states[t],rate))
        def fi(m,p,rate,depth):
            e=[i for i in range(len(A)) if A[i][1]=='I' and en(m,i)]
            if not e: save(rate*p,m); return
            if len(e)==1:
                tr(1,'Firing Action: '+A[e[0]][0])
                mm=list(m); A[e[0]][6](mm); fi(mm,p,rate,depth+1); return
            W=0.0; ws=[]
            for i in e: w=A[i][5](); ws.append(w); W+=w
            for i,w in zip(e,ws):
                tr(1,'Firing Action: '+A[i][0])
                mm=list(m); A[i][6](mm); fi(mm,p*w/W,rate,depth+1)
        for i,a in enumerate(A):
            if a[1]!='E': continue
            m=list(cur)
            tr(4,'Checking Action: '+a[0])
            if not en(m,i): continue
            tr(1,'Firing Action: '+a[0])
            rate=a[4](m)*prob(m,i)
            a[6](m)
            fi(m,1.0,rate,0)
        agg={}
        for t,r in trans: agg[t]=agg.get(t,0.0)+r
        arm.append(str(n))
        for t in sorted(agg): arm.append(str(t)); arm.append('%.10e'%agg[t])
        arm.append('0')
    N=len(states)
    d=len(str(N))
    out='1\n'+str(N)+'\n'+' '*(62-d)+'\n'+'\n'.join(arm)+'\n'
    tr(1,'Generated: %d states'%N)
    return out,'\n'.join(var)+'\n',N,T
if __name__=='__main__':
    pperm,srr,ter,prefix=float(sys.argv[1]),float(sys.argv[2]),float(sys.argv[3]),sys.argv[4]
    tl=int(sys.argv[5]) if len(sys.argv)>5 else 0
    a,v,N,T=run(pperm,srr,ter,tl)
    open(prefix+'.trace','w').write(''.join(t+'\n' for t in T))
    open(prefix+'.arm','w').write(a); open(prefix+'.var','w').write(v)
    print(N)
